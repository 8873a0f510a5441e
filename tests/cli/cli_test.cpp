// veltra-cli run in-process: the bytes each command sends compared with what
// the window's button sends for the same values (on a loopback peer and a
// pseudo-terminal that record them), whole exchanges with the simulated bus,
// usage and link errors, exit statuses, JSON and the scene database.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <sstream>

#include "../console/console_support.h"
#include "../serial/pty_fixture.h"
#include "../support/bytes.h"
#include "cli_support.h"
#include "console/spin_edit.h"
#include "scenes/scene_repository.h"
#include "scenes/scene_store_schema.h"

namespace veltra::test {
namespace {

std::vector<std::string> Udp(int port, std::vector<std::string> command) {
  std::vector<std::string> args{"--udp", "127.0.0.1:" + std::to_string(port), "--local-port", "0", "--subnet", "258"};
  args.insert(args.end(), command.begin(), command.end());
  return args;
}

// One button of the window and the command for the same values.
struct Case {
  std::vector<std::string> command;
  const char* button;
  std::function<void(MainWindow&)> fill;
};

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases{
      {{"set-address", "3"}, "Button1", [](MainWindow& f) { Spin(f, "SpinEdit1")->SetValue(3); }},
      {{"read-address"}, "Button22", [](MainWindow&) {}},
      {{"identify", "7"}, "Button23", [](MainWindow& f) { Spin(f, "SpinEdit1")->SetValue(7); }},
      {{"read-type", "33"}, "Button12", [](MainWindow& f) { Spin(f, "SpinEdit1")->SetValue(33); }},
      {{"restore", "2", "--yes"}, "Button31", [](MainWindow& f) { Spin(f, "SpinEdit1")->SetValue(2); }},
      {{"light", "toggle", "32", "8"}, "Button4", [](MainWindow& f) { Spin(f, "SpinEdit2")->SetValue(32); Spin(f, "SpinEdit3")->SetValue(8); }},
      {{"light", "all-off"}, "Button6", [](MainWindow&) {}},
      {{"light", "set-time", "2", "3", "65001"}, "Button30",
       [](MainWindow& f) { Spin(f, "SpinEdit2")->SetValue(2); Spin(f, "SpinEdit3")->SetValue(3); Spin(f, "SpinEdit11")->SetValue(65001); }},
      {{"read-status", "5"}, "Button11", [](MainWindow& f) { Spin(f, "SpinEdit2")->SetValue(5); }},
      {{"curtain", "close", "3", "4"}, "Button15", [](MainWindow& f) { Spin(f, "SpinEdit9")->SetValue(3); Spin(f, "SpinEdit10")->SetValue(4); }},
      {{"curtain", "stop-all"}, "Button17", [](MainWindow&) {}},
      {{"curtain", "set-time", "3", "2", "601"}, "Button21",
       [](MainWindow& f) { Spin(f, "SpinEdit9")->SetValue(3); Spin(f, "SpinEdit10")->SetValue(2); Spin(f, "SpinEdit8")->SetValue(601); }},
      {{"ir", "learn-on", "4"}, "Button24", [](MainWindow& f) { Spin(f, "SpinEdit14")->SetValue(4); }},
      {{"ir", "send", "4", "249"}, "Button28", [](MainWindow& f) { Spin(f, "SpinEdit14")->SetValue(4); Spin(f, "SpinEdit13")->SetValue(249); }},
      {{"input", "bind", "5", "32", "--mode", "switch", "--function", "12", "--target", "9", "--output", "8", "--param", "50"},
       "Button35",
       [](MainWindow& f) {
         Spin(f, "SpinEdit15")->SetValue(5); Spin(f, "SpinEdit17")->SetValue(32); List(f, "ComboBox15")->setCurrentIndex(1);
         List(f, "ComboBox16")->setCurrentIndex(11); Spin(f, "SpinEdit18")->SetValue(9); Spin(f, "SpinEdit16")->SetValue(8); Spin(f, "SpinEdit20")->SetValue(50);
       }},
      {{"input", "bind", "5", "2"}, "Button35", [](MainWindow& f) { Spin(f, "SpinEdit15")->SetValue(5); Spin(f, "SpinEdit17")->SetValue(2); }},
      {{"input", "clear", "5", "2"}, "Button36", [](MainWindow& f) { Spin(f, "SpinEdit15")->SetValue(5); Spin(f, "SpinEdit17")->SetValue(2); }},
      {{"scene", "set", "1", "50", "1", "0", "X"}, "Button7",
       [](MainWindow& f) {
         Spin(f, "SpinEdit5")->SetValue(1); Spin(f, "SpinEdit4")->SetValue(50); Spin(f, "SpinEdit6")->SetValue(3);
         ChannelList(f, 0)->setCurrentIndex(1); ChannelList(f, 1)->setCurrentIndex(0);
       }},
      {{"scene", "clear", "2", "7"}, "Button13", [](MainWindow& f) { Spin(f, "SpinEdit5")->SetValue(2); Spin(f, "SpinEdit4")->SetValue(7); }},
      {{"scene", "test", "9"}, "Button8", [](MainWindow& f) { Spin(f, "SpinEdit4")->SetValue(9); }},
      {{"bus-switch", "set", "--subnet-id", "258", "--ip", "192.168.14.3", "--port", "2001", "--mask", "255.255.255.0",
        "--gateway", "192.168.14.1", "--server-ip", "192.168.14.20", "--server-port", "2002", "--mac", "00:1a:2B:3C:4D:5E"},
       "btn1",
       [](MainWindow& f) {
         Spin(f, "SpinEdit12")->SetValue(258);
         const char* texts[] = {"192", "168", "14", "3", "2001", "255", "255", "255", "0", "192", "168", "14", "1",
                                "192", "168", "14", "20", "2002", "00", "1a", "2B", "3C", "4D", "5E"};
         QLineEdit* fields[] = {Edit(f, "Edit9"), Edit(f, "edt5"), Edit(f, "Edit15"), Edit(f, "Edit17"), Edit(f, "Edit11"), Edit(f, "Edit21"), Edit(f, "Edit22"), Edit(f, "Edit23"),
                                Edit(f, "Edit24"), Edit(f, "Edit25"), Edit(f, "Edit26"), Edit(f, "Edit27"), Edit(f, "Edit28"), Edit(f, "Edit29"), Edit(f, "Edit30"), Edit(f, "Edit31"),
                                Edit(f, "Edit32"), Edit(f, "edt3"), Edit(f, "Edit7"), Edit(f, "Edit8"), Edit(f, "Edit33"), Edit(f, "Edit34"), Edit(f, "Edit35"), Edit(f, "Edit36")};
         for (std::size_t i = 0; i < std::size(fields); ++i) fields[i]->setText(texts[i]);
       }},
      {{"bus-switch", "read-version"}, "Button33", [](MainWindow&) {}},
      {{"bus-switch", "restore", "--yes"}, "Button34", [](MainWindow&) {}},
  };
  return cases;
}

// What the window sends for the case on the chosen link.
std::vector<std::uint8_t> WindowSends(const Case& c, bool network) {
  FakeDialogs dialogs;
  CapturingWindow form{TestOptions(dialogs)};
  Spin(form, "SpinEdit7")->SetValue(258);
  (network ? Radio(form, "RadioButton1") : Radio(form, "RadioButton2"))->setChecked(true);
  c.fill(form);
  dialogs.answers = {true};
  form.findChild<QPushButton*>(c.button)->click();
  const auto& sent = network ? form.datagrams : form.serial;
  return sent.size() == 1 ? sent[0] : std::vector<std::uint8_t>{};
}

std::string Name(const Case& c) {
  std::string name;
  for (const std::string& w : c.command) name += w + " ";
  return name;
}

TEST(CliBytes, EveryCommandSendsWhatItsButtonSendsOverUdp) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(Name(c));
    LoopbackSocket peer;
    std::vector<std::string> args = Udp(peer.port(), c.command);
    args.insert(args.begin(), {"--timeout", "0"});
    const Outcome o = Cli(args);
    EXPECT_EQ(o.exit, cli::kExitNoReply) << o.err;
    const auto sent = peer.Receive(1000);
    const auto expected = WindowSends(c, true);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(Hex(sent), Hex(expected));
    EXPECT_TRUE(peer.Receive(0).empty()) << "one request";
  }
}

TEST(CliBytes, EveryCommandSendsWhatItsButtonSendsOnTheSerialLine) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(Name(c));
    Pty line;
    ASSERT_TRUE(line.ok());
    // A short wait for the (absent) reply lets the line carry the frame out
    // before the port is closed, which discards what is still in transit.
    std::vector<std::string> args{"--serial", line.path(), "--timeout", "30", "--subnet", "258"};
    args.insert(args.end(), c.command.begin(), c.command.end());
    const Outcome o = Cli(args);
    EXPECT_EQ(o.exit, cli::kExitNoReply) << o.err;
    const auto expected = WindowSends(c, false);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(Hex(line.Receive(expected.size(), std::chrono::milliseconds(1000))), Hex(expected));
  }
}

TEST(CliBytes, RoutedSerialFramesAndRawFrames) {
  Pty line;
  ASSERT_TRUE(line.ok());
  EXPECT_EQ(Cli({"--serial", line.path(), "--routed", "--timeout", "30", "light", "on", "1", "1"}).exit,
            cli::kExitNoReply);
  EXPECT_EQ(Hex(line.Receive(12, std::chrono::milliseconds(1000))), Hex(WithChecksum(FromHex("55 AA 0C 00 01 01 02 01 00 FF"))));

  LoopbackSocket peer;
  EXPECT_EQ(Cli(Udp(peer.port(), {"--timeout", "0", "send", "0A", "0102", "01", "00", "ff"})).exit, cli::kExitNoReply);
  EXPECT_EQ(Hex(peer.Receive(1000)), "55 AA 0A 01 02 01 00 FF 57 A6");
}

TEST(CliUsage, BadValuesAreRefusedBeforeAnythingIsSent) {
  LoopbackSocket peer;
  const std::vector<std::vector<std::string>> refused{
      {"read-type", "34"},
      {"light", "on", "0", "1"},
      {"light", "on", "1", "9"},
      {"curtain", "open", "1", "5"},
      {"light", "set-time", "1", "1", "65002"},
      {"ir", "send", "1", "250"},
      {"input", "bind", "1", "1", "--function", "13"},
      {"input", "bind", "1", "1", "--mode", "toggle"},
      {"scene", "set", "1", "1"},
      {"scene", "set", "1", "1", "1", "1", "1", "1", "1", "1", "1", "1", "1"},
      {"scene", "set", "1", "1", "2"},
      {"restore", "1"},
      {"bus-switch", "restore"},
      {"bus-switch", "set", "--subnet-id", "1", "--ip", "1.2.3.4", "--port", "1", "--mask", "255.0.0.0", "--gateway",
       "1.2.3.1", "--server-ip", "1.2.3.256", "--server-port", "1", "--mac", "00:00:00:00:00:00"},
      {"bus-switch", "set", "--subnet-id", "1", "--ip", "1.2.3.4", "--port", "1", "--mask", "255.0.0.0", "--gateway",
       "1.2.3.1", "--server-ip", "1.2.3.5", "--server-port", "1", "--mac", "00:00:00:00:00"},
      {"send", "0B", "01", "02", "01", "00", "FF"},
      {"send", "0A", "01", "02", "01", "00", "F"},
      {"no-such-command"},
      {},
  };
  for (const auto& command : refused) {
    SCOPED_TRACE(::testing::PrintToString(command));
    const Outcome o = Cli(Udp(peer.port(), command));
    EXPECT_EQ(o.exit, cli::kExitUsage);
    EXPECT_NE(o.err.find("Usage:"), std::string::npos) << o.err;
  }
  EXPECT_EQ(Cli({"light", "on", "1", "1"}).exit, cli::kExitUsage) << "no link named";
  EXPECT_EQ(Cli({"--udp", "127.0.0.1:0", "light", "on", "1", "1"}).exit, cli::kExitUsage);
  EXPECT_EQ(Cli({"--serial", "/dev/null", "bus-switch", "read", "--to", "127.0.0.1"}).exit, cli::kExitUsage);
  EXPECT_TRUE(peer.Receive(100).empty());
  const Outcome help = Cli({"--help"});
  EXPECT_EQ(help.exit, cli::kExitOk);
  EXPECT_NE(help.out.find("bus-switch"), std::string::npos);
}

TEST(CliLinkErrors, CarryTheSystemsReason) {
  const Outcome missing = Cli({"--serial", "/nonexistent/veltra-tty", "light", "on", "1", "1"});
  EXPECT_EQ(missing.exit, cli::kExitLinkError);
  EXPECT_NE(missing.err.find("Error opening serial port"), std::string::npos) << missing.err;
  EXPECT_NE(missing.err.find("No such file or directory"), std::string::npos) << missing.err;

  LoopbackSocket holder;
  const Outcome taken =
      Cli({"--udp", "127.0.0.1", "--local-port", std::to_string(holder.port()), "light", "on", "1", "1"});
  EXPECT_EQ(taken.exit, cli::kExitLinkError);
  EXPECT_NE(taken.err.find("Address already in use"), std::string::npos) << taken.err;
}

class CliWithSimulator : public ::testing::Test {
 protected:
  SimulatorRuntime sim;
  std::vector<std::string> Args(std::vector<std::string> command) {
    std::vector<std::string> args{"--udp", "127.0.0.1:" + std::to_string(sim.UdpPort()), "--local-port", "0"};
    args.insert(args.end(), command.begin(), command.end());
    return args;
  }
};

TEST_F(CliWithSimulator, LightOnThenReadStatusShowsTheOutputOn) {
  const Outcome on = Cli(Args({"light", "on", "1", "1"}));
  EXPECT_EQ(on.exit, cli::kExitOk) << on.err;
  EXPECT_EQ(on.out, "Send \xEF\xBC\x9AX\nRead \xEF\xBC\x9AX  OK!\n");

  const Outcome status = Cli(Args({"--json", "read-status", "1"}));
  ASSERT_EQ(status.exit, cli::kExitOk) << status.err;
  const auto j = nlohmann::ordered_json::parse(status.out);
  std::vector<std::string> keys;
  for (const auto& item : j.items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"command", "address", "subnet", "time", "request", "reply", "reply_invalid",
                                            "status", "status_word", "result", "round_trip_ms"}));
  EXPECT_EQ(j["request"], "55 AA 0A 00 01 01 00 08 54 B9");
  EXPECT_EQ(j["status"], 1);
  EXPECT_EQ(j["status_word"], "OK!");
  ASSERT_EQ(j["result"]["outputs"].size(), 8u);
  EXPECT_EQ(j["result"]["outputs"][0], true);
  EXPECT_EQ(j["result"]["outputs"][1], false);
  EXPECT_GT(j["round_trip_ms"].get<double>(), 0.0);
}

TEST_F(CliWithSimulator, ResultsInWordsAndExitStatuses) {
  const Outcome type = Cli(Args({"--show-bytes", "read-type", "1"}));
  EXPECT_EQ(type.exit, cli::kExitOk);
  EXPECT_NE(type.out.find("Send \xEF\xBC\x9A" "55 AA 0A 00 01 01 00 06 54 BB \n"), std::string::npos) << type.out;
  EXPECT_NE(type.out.find("Module type: 0208"), std::string::npos) << type.out;

  const Outcome occupied = Cli(Args({"--json", "set-address", "2"}));
  EXPECT_EQ(occupied.exit, cli::kExitErrorStatus);
  EXPECT_EQ(nlohmann::json::parse(occupied.out)["status_word"], "Module address is occupied");

  const Outcome nobody = Cli(Args({"--json", "--timeout", "50", "read-type", "20"}));
  EXPECT_EQ(nobody.exit, cli::kExitNoReply);
  const auto j = nlohmann::json::parse(nobody.out);
  EXPECT_TRUE(j["reply"].is_null());
  EXPECT_TRUE(j["status"].is_null());
  EXPECT_TRUE(j["round_trip_ms"].is_null());

  const Outcome record = Cli(Args({"--json", "bus-switch", "read", "--to", "127.0.0.1"}));
  EXPECT_EQ(record.exit, cli::kExitOk) << record.err;
  const auto r = nlohmann::json::parse(record.out)["result"];
  EXPECT_EQ(r["port"], sim.UdpPort());
  EXPECT_EQ(r["subnet_id"], 1);
  EXPECT_TRUE(r["mac"].is_string());
}

TEST_F(CliWithSimulator, RepeatSendsNRequestsAndSummarises) {
  const Outcome o = Cli(Args({"--json", "--repeat", "5", "read-version", "1"}));
  EXPECT_EQ(o.exit, cli::kExitOk);
  std::istringstream lines(o.out);
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count)
    EXPECT_EQ(nlohmann::json::parse(line)["result"]["version"], "Light-8 V1.0");
  EXPECT_EQ(count, 5);
  EXPECT_NE(o.err.find("5 requests, 5 replies"), std::string::npos) << o.err;
}

TEST_F(CliWithSimulator, SerialLineRepliesAreFramedAndDecoded) {
  const Outcome o = Cli({"--serial", sim.PtySlavePath(), "--json", "read-version", "3"});
  ASSERT_EQ(o.exit, cli::kExitOk) << o.err;
  EXPECT_EQ(nlohmann::json::parse(o.out)["result"]["version"], "Curtain-4 V1.0");
}

TEST_F(CliWithSimulator, ConfirmedScenesGoToTheSceneDatabaseOnlyWhenOneIsNamed) {
  QTemporaryDir folder;
  const QString db = folder.filePath("scenes.db");
  MakeSceneDatabase(db);
  auto rows = [&] {
    SceneRepository store;
    EXPECT_TRUE(store.Open(db.toStdString())) << store.OpenError();
    return store.ReadAll().size();
  };
  EXPECT_EQ(Cli(Args({"scene", "set", "1", "4", "1", "0"})).exit, cli::kExitOk);
  EXPECT_EQ(rows(), 0u);
  EXPECT_EQ(Cli(Args({"--scene-db", db.toStdString(), "scene", "set", "1", "4", "1", "0"})).exit, cli::kExitOk);
  EXPECT_EQ(Cli(Args({"--scene-db", db.toStdString(), "scene", "set", "1", "4", "0", "0", "1"})).exit, cli::kExitOk);
  {
    SceneRepository store;
    ASSERT_TRUE(store.Open(db.toStdString()));
    const auto records = store.ReadAll();
    ASSERT_EQ(records.size(), 1u) << "the same scene and module is updated";
    std::string cells;
    for (const SceneValue& cell : records[0].cells) {
      if (const auto* text = std::get_if<std::string>(&cell)) cells += *text + ',';
      if (const auto* number = std::get_if<std::int64_t>(&cell)) cells += std::to_string(*number) + ',';
    }
    EXPECT_NE(cells.find("4,1,0,0,1,X,X,X,X,X"), std::string::npos) << cells;
  }
  EXPECT_EQ(Cli(Args({"--scene-db", db.toStdString(), "scene", "clear", "1", "4"})).exit, cli::kExitOk);
  EXPECT_EQ(rows(), 0u);

  const Outcome missing = Cli(Args({"--scene-db", "/nonexistent/scenes.db", "scene", "set", "1", "4", "1"}));
  EXPECT_EQ(missing.exit, cli::kExitStorage);
}

TEST_F(CliWithSimulator, MonitorPrintsFramesUntilStopped) {
  const Outcome o = CliStopped(
      {"--udp", "127.0.0.1:" + std::to_string(sim.UdpPort()), "--local-port", "0", "--json", "monitor"},
      std::chrono::milliseconds(300));
  EXPECT_EQ(o.exit, 130) << "ended by the stop";
  EXPECT_TRUE(o.err.empty()) << o.err;
}

}  // namespace
}  // namespace veltra::test
