// The bridge's configuration file: the keys users and tests write, their
// defaults (the link's are veltra-cli's), and every problem reported with
// its line and column.
#include <gtest/gtest.h>

#include "bridge/bridge_config.h"
#include "plan_text.h"

namespace veltra::bridge {
namespace {

std::vector<std::string> Problems(const std::string& text) {
  const ConfigResult result = ParseConfig(text, "/etc/veltra/bridge.toml");
  EXPECT_FALSE(result.config.has_value());
  std::vector<std::string> lines;
  for (const ConfigError& e : result.errors) lines.push_back(plan::Describe(e));
  return lines;
}

BridgeConfig Parsed(const std::string& text) {
  ConfigResult result = ParseConfig(text, "/etc/veltra/bridge.toml");
  for (const ConfigError& e : result.errors) ADD_FAILURE() << plan::Describe(e);
  return result.config.value_or(BridgeConfig{});
}

const std::string kMinimal = "[link]\nudp = \"192.168.14.3:2001\"\n[site]\nname = \"home\"\nplan = \"site-plan.toml\"\n";

TEST(BridgeConfig, EveryKeyIsRead) {
  const BridgeConfig c = Parsed(R"([mqtt]
host = "broker.lan"
port = 8883
client_id = "bridge-2"
discovery_prefix = "ha"
username = "veltra"
password_file = "/etc/veltra/mqtt-password"
tls = true
ca_file = "/etc/ssl/broker-ca.pem"

[link]
serial = "/dev/ttyUSB0"
baud = 19200
data_bits = 7
parity = "even"
stop_bits = 1.5
routed = true
timeout = 250
subnet = 3

[site]
name = "holiday-home_2"
plan = "/srv/plans/holiday.toml"

[poll]
interval_s = 2.5
budget_percent = 35
)");
  EXPECT_EQ(c.mqtt.host, "broker.lan");
  EXPECT_EQ(c.mqtt.port, 8883);
  EXPECT_EQ(c.mqtt.clientId, "bridge-2");
  EXPECT_EQ(c.mqtt.discoveryPrefix, "ha");
  EXPECT_EQ(c.mqtt.username, "veltra");
  EXPECT_EQ(c.mqtt.passwordFile, "/etc/veltra/mqtt-password");
  EXPECT_TRUE(c.mqtt.tls);
  EXPECT_EQ(c.mqtt.caFile, "/etc/ssl/broker-ca.pem");
  EXPECT_EQ(c.link.serial, "/dev/ttyUSB0");
  EXPECT_FALSE(c.link.Udp());
  EXPECT_EQ(c.link.baud, 19200);
  EXPECT_EQ(c.link.dataBits, 7);
  EXPECT_EQ(c.link.parity, "even");
  EXPECT_EQ(c.link.stopBits, "1.5");
  EXPECT_TRUE(c.link.routed);
  EXPECT_EQ(c.link.timeoutMs, 250);
  EXPECT_EQ(c.link.subnet, 3);
  EXPECT_EQ(c.site.name, "holiday-home_2");
  EXPECT_EQ(c.site.plan, "/srv/plans/holiday.toml");
  EXPECT_DOUBLE_EQ(c.poll.intervalS, 2.5);
  EXPECT_DOUBLE_EQ(c.poll.budgetPercent, 35);
}

TEST(BridgeConfig, LeftOutKeysTakeTheDefaultsAndTheLinkThoseOfTheTool) {
  const BridgeConfig c = Parsed(kMinimal);
  const MqttSettings mqtt;
  EXPECT_EQ(c.mqtt.host, "127.0.0.1");
  EXPECT_EQ(c.mqtt.port, 1883);
  EXPECT_EQ(c.mqtt.clientId, "veltra-bridge");
  EXPECT_EQ(c.mqtt.discoveryPrefix, "homeassistant");
  EXPECT_FALSE(c.mqtt.username || c.mqtt.passwordFile || c.mqtt.tls || c.mqtt.caFile);
  const LinkOptions tool;  // what veltra-cli takes without options
  EXPECT_EQ(c.link.udp, "192.168.14.3:2001");
  EXPECT_EQ(c.link.localPort, tool.localPort);
  EXPECT_EQ(c.link.subnet, tool.subnet);
  EXPECT_EQ(c.link.timeoutMs, tool.timeoutMs);
  EXPECT_EQ(c.link.Form(), FrameForm::Routed);
  EXPECT_DOUBLE_EQ(c.poll.intervalS, 10);
  EXPECT_DOUBLE_EQ(c.poll.budgetPercent, 20);
  // A relative plan lies beside the configuration.
  EXPECT_EQ(c.site.plan, "/etc/veltra/site-plan.toml");
}

TEST(BridgeConfig, UnknownKeysAndTablesAreErrorsAtTheirLine) {
  EXPECT_EQ(Problems("[mqtt]\nhost = \"127.0.0.1\"\nhots = \"x\"\n" + kMinimal + "[poll]\ninterval = 5\n[extra]\n"),
            (std::vector<std::string>{
                "/etc/veltra/bridge.toml:3:1: unknown key 'hots' in [mqtt]",
                "/etc/veltra/bridge.toml:10:1: unknown key 'interval' in [poll]",
                "/etc/veltra/bridge.toml:11:2: unknown key 'extra' in the configuration",
            }));
  EXPECT_EQ(Problems(kMinimal + "localport = 2003\n"),
            (std::vector<std::string>{"/etc/veltra/bridge.toml:6:1: unknown key 'localport' in [site]"}));
}

TEST(BridgeConfig, ValuesOutOfRangeOrOfTheWrongKindAreErrorsAtTheirLine) {
  const auto problems = Problems(R"([mqtt]
port = 0
discovery_prefix = "home/#"
password_file = "/etc/pw"
ca_file = "/etc/ca.pem"
[link]
udp = "10.0.0.1:http"
local_port = 70000
parity = "odd-ish"
stop_bits = 3
data_bits = "8"
routed = "yes"
[site]
name = "my home"
plan = ""
[poll]
interval_s = 0
budget_percent = 120
)");
  const std::vector<std::string> expected{
      "/etc/veltra/bridge.toml:2:8: the broker's port 0 is out of range (1-65535)",
      "/etc/veltra/bridge.toml:3:20: the discovery prefix is a topic without '+', '#' or a '/' at either end",
      "/etc/veltra/bridge.toml:4:17: password_file needs a username",
      "/etc/veltra/bridge.toml:5:11: ca_file is for tls = true",
      "/etc/veltra/bridge.toml:7:7: udp: not a UDP port: http",
      "/etc/veltra/bridge.toml:8:14: the local UDP port 70000 is out of range (0-65535)",
      "/etc/veltra/bridge.toml:9:10: parity is one of \"none\", \"odd\", \"even\", \"mark\", \"space\"",
      "/etc/veltra/bridge.toml:10:13: stop_bits is one of \"1\", \"1.5\", \"2\"",
      "/etc/veltra/bridge.toml:11:13: the data bits must be a whole number",
      "/etc/veltra/bridge.toml:12:10: routed must be true or false",
      "/etc/veltra/bridge.toml:14:8: the site's name is made of letters, digits, '-' and '_', not \"my home\"",
      "/etc/veltra/bridge.toml:15:8: the site plan's file must not be empty",
      "/etc/veltra/bridge.toml:17:14: interval_s 0 is out of range (above 0, at most 86400)",
      "/etc/veltra/bridge.toml:18:18: budget_percent 120 is out of range (above 0, at most 100)",
  };
  EXPECT_EQ(problems, expected);
}

TEST(BridgeConfig, TheLinkAndTheSiteMustBeNamed) {
  EXPECT_EQ(Problems("[mqtt]\n"), (std::vector<std::string>{
                                       "/etc/veltra/bridge.toml: missing table [link]",
                                       "/etc/veltra/bridge.toml: missing table [site]",
                                   }));
  EXPECT_EQ(Problems("[link]\nsubnet = 2\n[site]\nname = \"a\"\n"),
            (std::vector<std::string>{
                "/etc/veltra/bridge.toml:1:1: [link] names the link: udp = \"HOST[:PORT]\" or serial = \"DEVICE\"",
                "/etc/veltra/bridge.toml:3:1: missing plan (the site plan's file)",
            }));
  EXPECT_EQ(Problems("[link]\nudp = \"127.0.0.1\"\nserial = \"/dev/ttyS0\"\n[site]\nname = \"a\"\nplan = \"p\"\n"),
            (std::vector<std::string>{"/etc/veltra/bridge.toml:3:10: udp and serial exclude each other: name one link"}));
  EXPECT_EQ(Problems("link = 3\n[site]\nname = \"a\"\nplan = \"p\"\n"),
            (std::vector<std::string>{"/etc/veltra/bridge.toml:1:8: link must be a table: [link]"}));
}

TEST(BridgeConfig, SyntaxErrorsHaveTheirPlace) {
  const auto problems = Problems(kMinimal + "[poll]\ninterval_s = = 3\n");
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_TRUE(problems[0].starts_with("/etc/veltra/bridge.toml:7:")) << problems[0];
}

TEST(BridgeConfig, TheInstalledExampleIsValid) {
  const BridgeConfig c = Parsed(test::FileText(VELTRA_EXAMPLE_BRIDGE_CONFIG));
  EXPECT_EQ(c.site.plan, "/etc/veltra/site-plan.toml");
  EXPECT_TRUE(c.link.Udp());
}

}  // namespace
}  // namespace veltra::bridge
