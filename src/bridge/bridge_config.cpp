// Reads the bridge's TOML and checks every value; the checks go on after the
// first problem, so that one run names them all.
#include "bridge/bridge_config.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <initializer_list>
#include <tuple>

namespace veltra::bridge {
namespace {

class Reader {
 public:
  explicit Reader(std::string_view file) : file_(file) {}

  std::vector<ConfigError> errors;

  void Fail(const toml::source_region& where, const std::string& message) {
    errors.push_back({std::string(file_), static_cast<int>(where.begin.line), static_cast<int>(where.begin.column),
                      message});
  }
  void Fail(const toml::node& node, const std::string& message) { Fail(node.source(), message); }

  BridgeConfig Read(const toml::table& root) {
    BridgeConfig c;
    Known(root, {"mqtt", "link", "site", "poll"}, "the configuration");
    if (const toml::table* t = Table(root, "mqtt", false)) ReadMqtt(*t, c.mqtt);
    if (const toml::table* t = Table(root, "link", true)) ReadLink(*t, c.link);
    if (const toml::table* t = Table(root, "site", true)) ReadSite(*t, c.site);
    if (const toml::table* t = Table(root, "poll", false)) ReadPoll(*t, c.poll);
    return c;
  }

 private:
  const toml::table* Table(const toml::table& root, std::string_view key, bool required) {
    const toml::node* node = root.get(key);
    if (!node) {
      if (required) Fail(toml::source_region{}, "missing table [" + std::string(key) + "]");
      return nullptr;
    }
    if (!node->is_table()) {
      Fail(*node, std::string(key) + " must be a table: [" + std::string(key) + "]");
      return nullptr;
    }
    return node->as_table();
  }

  // Keys a table may hold; anything else is most likely a typing error.
  void Known(const toml::table& table, std::initializer_list<std::string_view> keys, const std::string& what) {
    for (const auto& [key, value] : table)
      if (std::find(keys.begin(), keys.end(), key.str()) == keys.end())
        Fail(key.source(), "unknown key '" + std::string(key.str()) + "' in " + what);
  }

  std::optional<std::string> String(const toml::table& t, std::string_view key, const std::string& what,
                                    bool required = false) {
    const toml::node* node = t.get(key);
    if (!node) {
      if (required) Fail(t, "missing " + std::string(key) + " (" + what + ")");
      return std::nullopt;
    }
    if (!node->is_string()) {
      Fail(*node, what + " must be a string in quotes");
      return std::nullopt;
    }
    if (node->as_string()->get().empty()) {
      Fail(*node, what + " must not be empty");
      return std::nullopt;
    }
    return node->as_string()->get();
  }

  void Int(const toml::table& t, std::string_view key, int min, int max, const std::string& what, int& out) {
    const toml::node* node = t.get(key);
    if (!node) return;
    const auto value = node->value_exact<std::int64_t>();
    if (!value) {
      Fail(*node, what + " must be a whole number");
    } else if (*value < min || *value > max) {
      Fail(*node, what + " " + std::to_string(*value) + " is out of range (" + std::to_string(min) + "-" +
                      std::to_string(max) + ")");
    } else {
      out = static_cast<int>(*value);
    }
  }

  // A whole or decimal number in (above, max].
  void Number(const toml::table& t, std::string_view key, double above, double max, const std::string& what,
              double& out) {
    const toml::node* node = t.get(key);
    if (!node) return;
    if (!node->is_integer() && !node->is_floating_point()) {
      Fail(*node, what + " must be a number");
      return;
    }
    const double value = node->value<double>().value_or(0);
    if (!(value > above && value <= max)) {
      Fail(*node, what + " " + Text(value) + " is out of range (above " + Text(above) + ", at most " + Text(max) +
                      ")");
      return;
    }
    out = value;
  }

  static std::string Text(double value) {
    std::string text = std::to_string(value);
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.pop_back();
    return text;
  }

  void Bool(const toml::table& t, std::string_view key, const std::string& what, bool& out) {
    const toml::node* node = t.get(key);
    if (!node) return;
    if (!node->is_boolean())
      Fail(*node, what + " must be true or false");
    else
      out = node->as_boolean()->get();
  }

  template <std::size_t N>
  void Choice(const toml::table& t, std::string_view key, const std::array<std::string_view, N>& names,
              const std::string& what, std::string& out) {
    const toml::node* node = t.get(key);
    if (!node) return;
    // stop_bits = 1, 1.5 or 2 reads as well as "1", "1.5" or "2".
    std::string text;
    if (const auto whole = node->value_exact<std::int64_t>())
      text = std::to_string(*whole);
    else if (const auto number = node->value_exact<double>())
      text = Text(*number);
    else if (const auto* s = node->as_string())
      text = s->get();
    std::string known;
    for (const std::string_view name : names) {
      if (text == name) {
        out = text;
        return;
      }
      known += (known.empty() ? "\"" : ", \"") + std::string(name) + "\"";
    }
    Fail(*node, what + " is one of " + known);
  }

  void ReadMqtt(const toml::table& t, MqttSettings& m) {
    Known(t, {"host", "port", "client_id", "discovery_prefix", "username", "password_file", "tls", "ca_file"},
          "[mqtt]");
    if (auto host = String(t, "host", "the broker's host")) m.host = *host;
    Int(t, "port", 1, kMaxPort, "the broker's port", m.port);
    if (auto id = String(t, "client_id", "the client id")) m.clientId = *id;
    if (auto prefix = String(t, "discovery_prefix", "the discovery prefix")) {
      const bool wild = prefix->find_first_of("+#") != std::string::npos;
      if (wild || prefix->front() == '/' || prefix->back() == '/')
        Fail(*t.get("discovery_prefix"), "the discovery prefix is a topic without '+', '#' or a '/' at either end");
      else
        m.discoveryPrefix = *prefix;
    }
    m.username = String(t, "username", "the user name");
    m.passwordFile = String(t, "password_file", "the password file");
    if (m.passwordFile && !m.username) Fail(*t.get("password_file"), "password_file needs a username");
    Bool(t, "tls", "tls", m.tls);
    m.caFile = String(t, "ca_file", "the certificate authority file");
    if (m.caFile && !m.tls) Fail(*t.get("ca_file"), "ca_file is for tls = true");
  }

  void ReadLink(const toml::table& t, LinkOptions& o) {
    Known(t, {"udp", "local_port", "subnet", "serial", "baud", "data_bits", "parity", "stop_bits", "routed", "timeout"},
          "[link]");
    if (auto udp = String(t, "udp", "the bus switch HOST[:PORT]")) {
      try {
        SplitHostPort(*udp);
        o.udp = *udp;
      } catch (const std::invalid_argument& e) {
        Fail(*t.get("udp"), std::string("udp: ") + e.what());
      }
    }
    if (auto serial = String(t, "serial", "the serial device")) o.serial = *serial;
    if (t.get("udp") && t.get("serial")) Fail(*t.get("serial"), "udp and serial exclude each other: name one link");
    if (!t.get("udp") && !t.get("serial")) Fail(t, "[link] names the link: udp = \"HOST[:PORT]\" or serial = \"DEVICE\"");
    Int(t, "local_port", 0, kMaxPort, "the local UDP port", o.localPort);
    Int(t, "subnet", 0, kMaxSubnet, "the subnet", o.subnet);
    Int(t, "baud", 1, 4000000, "the baud rate", o.baud);
    Int(t, "data_bits", kMinDataBits, kMaxDataBits, "the data bits", o.dataBits);
    Choice(t, "parity", kParityNames, "parity", o.parity);
    Choice(t, "stop_bits", kStopBitsNames, "stop_bits", o.stopBits);
    Bool(t, "routed", "routed", o.routed);
    Int(t, "timeout", 0, kMaxTimeoutMs, "the reply time-out in ms", o.timeoutMs);
  }

  void ReadSite(const toml::table& t, SiteSettings& s) {
    Known(t, {"name", "plan"}, "[site]");
    if (auto name = String(t, "name", "the site's name", true)) {
      if (!IsSiteName(*name))
        Fail(*t.get("name"), "the site's name is made of letters, digits, '-' and '_', not \"" + *name + "\"");
      else
        s.name = *name;
    }
    if (auto plan = String(t, "plan", "the site plan's file", true)) s.plan = *plan;
  }

  void ReadPoll(const toml::table& t, PollSettings& p) {
    Known(t, {"interval_s", "budget_percent"}, "[poll]");
    Number(t, "interval_s", 0, 86400, "interval_s", p.intervalS);
    Number(t, "budget_percent", 0, 100, "budget_percent", p.budgetPercent);
  }

  std::string_view file_;
};

}  // namespace

bool IsSiteName(std::string_view name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
  });
}

ConfigResult ParseConfig(std::string_view text, std::string_view fileName) {
  ConfigResult result;
  Reader reader(fileName);
  toml::table root;
  try {
    root = toml::parse(text, fileName);
  } catch (const toml::parse_error& error) {
    reader.Fail(error.source(), std::string(error.description()));
    result.errors = std::move(reader.errors);
    return result;
  }
  BridgeConfig config = reader.Read(root);
  if (reader.errors.empty()) {
    // A relative plan is found beside the configuration.
    const std::filesystem::path plan(config.site.plan);
    if (plan.is_relative())
      config.site.plan = (std::filesystem::path(fileName).parent_path() / plan).lexically_normal().string();
    result.config = std::move(config);
  }
  result.errors = std::move(reader.errors);
  std::stable_sort(result.errors.begin(), result.errors.end(), [](const ConfigError& a, const ConfigError& b) {
    return std::tie(a.line, a.column) < std::tie(b.line, b.column);
  });
  return result;
}

}  // namespace veltra::bridge
