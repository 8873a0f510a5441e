// veltra-cli as a script relies on it: a stop ends a command at once with
// 128 + the signal and what was done; replies of the bus switch over the
// serial line; plans that cannot be applied refused; a silent link told from
// drift; a scene database that cannot be written found before sending;
// replies that are no frame; a monitor that logs; failures with their
// reasons; small things that were wrong.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/file.h>

#include <QTemporaryDir>
#include <fstream>
#include <regex>
#include <sstream>

#include "../capture/capture_support.h"
#include "../link/bus_peer.h"
#include "../serial/pty_fixture.h"
#include "../support/child_program.h"
#include "../support/loopback_socket.h"
#include "cli_support.h"
#include "scenes/scene_repository.h"
#include "scenes/scene_store_schema.h"
#include "sim/simulator_runtime.h"

namespace veltra::test {
namespace {

using namespace std::chrono_literals;
using Json = nlohmann::json;

std::unique_ptr<SimulatorRuntime> UdpSimulator(int delayMs = 0, int garbageEvery = 0, bool pty = false) {
  SimulatorOptions options;
  options.pty = pty;
  options.faults.delayMs = delayMs;
  options.faults.garbageEvery = garbageEvery;
  return std::make_unique<SimulatorRuntime>(options);
}

std::vector<std::string> Udp(int port, std::vector<std::string> command, int timeoutMs = 300) {
  std::vector<std::string> args{"--udp", "127.0.0.1:" + std::to_string(port), "--local-port", "0", "--timeout",
                                std::to_string(timeoutMs)};
  args.insert(args.end(), command.begin(), command.end());
  return args;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class CliFaults : public ::testing::Test {
 protected:
  QTemporaryDir folder;
  std::string Path(const std::string& name) { return folder.filePath(QString::fromStdString(name)).toStdString(); }
  std::string Write(const std::string& name, const std::string& text) {
    std::ofstream(Path(name)) << text;
    return Path(name);
  }
  // The example plan told the simulator's port, so that its bus switch
  // record is what the simulator serves.
  std::string ExamplePlan(int port) {
    std::string plan = ReadAll(VELTRA_EXAMPLE_PLAN);
    const std::string at = "port = 2001";
    plan.replace(plan.find(at), at.size(), "port = " + std::to_string(port));
    return Write("site.toml", plan);
  }
};

// ---- 1. Ctrl+C and SIGTERM

TEST_F(CliFaults, AStopEndsTheWaitForAReplyWithTheSignalsStatus) {
  LoopbackSocket silent;
  for (const int signal : {SIGINT, SIGTERM}) {
    const Outcome o = CliStopped(Udp(silent.port(), {"read-type", "3"}, 20000), 200ms, signal);
    EXPECT_EQ(o.exit, 128 + signal);
    EXPECT_LT(o.took, 10s) << "not the 20 s time-out";
    EXPECT_EQ(o.err, "veltra-cli: interrupted while waiting for the reply\n");
    EXPECT_FALSE(Contains(o.out + o.err, "No reply"));
  }
}

TEST_F(CliFaults, AStopEndsRepeatScanVerifyAndApplyAndSaysWhatWasDone) {
  // Each reply takes 60 ms: the stop comes in the middle of each command.
  auto sim = UdpSimulator(60);
  const Outcome repeat = CliStopped(Udp(sim->UdpPort(), {"--json", "--repeat", "20", "read-version", "1"}), 300ms);
  EXPECT_EQ(repeat.exit, 130);
  const auto done = Lines(repeat.out).size();
  EXPECT_GT(done, 0u);
  EXPECT_LT(done, 20u);
  EXPECT_TRUE(Contains(repeat.err, "interrupted after " + std::to_string(done) + " of 20 requests")) << repeat.err;

  const Outcome scan = CliStopped(Udp(sim->UdpPort(), {"scan"}), 300ms);
  EXPECT_EQ(scan.exit, 130) << "not 0";
  EXPECT_TRUE(Contains(scan.out, "addresses scanned before the stop")) << scan.out;
  EXPECT_TRUE(Contains(scan.err, "interrupted after")) << scan.err;

  const std::string plan = ExamplePlan(sim->UdpPort());
  const Outcome verify = CliStopped(Udp(sim->UdpPort(), {"plan", "verify", plan, "--unplanned"}), 300ms);
  EXPECT_EQ(verify.exit, 130) << "not drift";
  EXPECT_FALSE(Contains(verify.out, "difference")) << verify.out;
  EXPECT_TRUE(Contains(verify.err, "nothing is concluded")) << verify.err;

  const Outcome apply = CliStopped(Udp(sim->UdpPort(), {"plan", "apply", plan}), 300ms);
  EXPECT_EQ(apply.exit, 130);
  const auto lines = Lines(apply.out);
  ASSERT_FALSE(lines.empty());
  std::smatch sent;
  ASSERT_TRUE(std::regex_match(lines.back(), sent, std::regex(R"(Sent (\d+) of 13, confirmed \d+, failed 0)")))
      << apply.out;
  EXPECT_LT(std::stoi(sent[1]), 13);
  EXPECT_TRUE(Contains(apply.err, "interrupted after " + std::string(sent[1]) + " of 13 settings")) << apply.err;
  std::this_thread::sleep_for(200ms);
  EXPECT_TRUE(sim->Bus().Module(5)->bindings.empty()) << "the last settings were not sent";
}

// The real signals, to the program: what was done is printed, the capture
// is a whole file, the exit status is 128 + the signal.
TEST_F(CliFaults, TheProgramCatchesSigintAndSigterm) {
  auto sim = UdpSimulator(80);
  const std::string plan = ExamplePlan(sim->UdpPort());
  const std::string capture = Path("apply.pcap");
  ChildProgram apply(VELTRA_CLI_PROGRAM, Udp(sim->UdpPort(), {"--capture", capture, "plan", "apply", plan}));
  ASSERT_TRUE(apply.Started());
  // Once the first setting is confirmed, the program is well under way.
  for (int i = 0; i < 1000 && !Contains(apply.OutSoFar(), "[ 1/13]"); ++i) std::this_thread::sleep_for(10ms);
  ASSERT_TRUE(Contains(apply.OutSoFar(), "[ 1/13]"));
  apply.Signal(SIGINT);
  const ProgramRun run = apply.Wait();
  EXPECT_EQ(run.status, 130) << run.err;
  EXPECT_TRUE(Contains(run.out, "Sent ")) << run.out;
  EXPECT_TRUE(Contains(run.err, "interrupted after ")) << run.err;
  const CaptureFileContents file = ReadCaptureFile(capture);
  EXPECT_GT(file.records.size(), 0u);
  EXPECT_LT(file.records.size(), 26u) << "fewer than every request and reply";

  LoopbackSocket silent;
  ChildProgram wait(VELTRA_CLI_PROGRAM, Udp(silent.port(), {"read-type", "3"}, 20000));
  ASSERT_FALSE(silent.Receive(10000).empty()) << "the request is out: the program waits for its reply";
  wait.Signal(SIGTERM);
  const ProgramRun term = wait.Wait(10s);
  EXPECT_EQ(term.status, 143);
  EXPECT_EQ(term.err, "veltra-cli: interrupted while waiting for the reply\n");
}

// ---- 2. The bus switch over the serial line

TEST_F(CliFaults, BusSwitchRequestsOverTheSerialLineReadTheirRoutedReply) {
  auto sim = UdpSimulator(0, 0, true);
  const Outcome type = Cli({"--serial", sim->PtySlavePath(), "--timeout", "1000", "bus-switch", "read-type"});
  EXPECT_EQ(type.exit, cli::kExitOk) << type.out << type.err;
  EXPECT_TRUE(Contains(type.out, "Read \xEF\xBC\x9AX  OK!\nModule type: 1001\n")) << type.out;
  const Outcome version =
      Cli({"--serial", sim->PtySlavePath(), "--timeout", "1000", "--json", "bus-switch", "read-version"});
  ASSERT_EQ(version.exit, cli::kExitOk) << version.err;
  const Json j = Json::parse(version.out);
  EXPECT_EQ(j["status_word"], "OK!");
  EXPECT_EQ(j["result"]["version"], "BusSwitch V1.0");
  EXPECT_EQ(j["address"], 255);
}

// ---- 3. Plans that cannot be applied

TEST_F(CliFaults, PlanCheckRefusesWhatTheModulesTypesCannotTake) {
  const std::string plan = Write("wrong.toml",
                                 "[[module]]\naddress = 1\ntype = \"0208\"\ntravel_tenths = { 1 = 20 }\n"       // 4
                                 "[[module]]\naddress = 3\ntype = \"0104\"\nturn_on_seconds = { 1 = 3 }\n"      // 8
                                 "  [[module.scene]]\n  number = 1\n  channels = \"11110000\"\n"                // 11
                                 "  [[module.input]]\n  input = 1\n"                                            // 12
                                 "[[module]]\naddress = 5\ntype = \"0408\"\n"
                                 "  [[module.input]]\n  input = 2\n  function = \"Scene\"\n  parameter = 77\n"  // 20
                                 "[[module]]\naddress = 2\ntype = \"0208\"\nturn_on_seconds = { 1 = 3 }\n");
  const Outcome o = Cli({"plan", "check", plan});
  EXPECT_EQ(o.exit, cli::kExitUsage);
  EXPECT_EQ(Lines(o.err), (std::vector<std::string>{
                              plan + ":4:1: type 0208 is a light module with 8 outputs: it takes no travel times",
                              plan + ":8:1: type 0104 is a curtain module with 4 outputs: it takes no turn-on times",
                              plan + ":11:14: this scene has 8 channels, one per output: type 0104 is a curtain "
                                     "module with 4 outputs",
                              plan + ":12:3: type 0104 is a curtain module with 4 outputs: only an input module takes "
                                     "input bindings",
                              plan + ":20:15: parameter 77 is out of range for \"Scene\" (0-50)",
                          }));
  EXPECT_TRUE(o.out.empty());
  const Outcome json = Cli({"--json", "plan", "check", plan});
  EXPECT_EQ(json.exit, cli::kExitUsage);
  const Json j = Json::parse(json.out);
  ASSERT_EQ(j["errors"].size(), 5u);
  EXPECT_EQ(j["errors"][4]["line"], 20);
  EXPECT_EQ(j["errors"][4]["column"], 15);
}

TEST_F(CliFaults, PlanCheckRefusesADirectoryAnEmptyPlanAndReadsTheStandardInput) {
  const Outcome directory = Cli({"plan", "check", folder.path().toStdString()});
  EXPECT_EQ(directory.exit, cli::kExitUsage);
  EXPECT_EQ(directory.err, "veltra-cli: cannot read the plan " + folder.path().toStdString() + " (Is a directory)\n");
  const Outcome missing = Cli({"plan", "check", Path("missing.toml")});
  EXPECT_EQ(missing.exit, cli::kExitUsage);
  EXPECT_TRUE(Contains(missing.err, "(No such file or directory)")) << missing.err;
  const std::string empty = Write("empty.toml", "");
  const Outcome nothing = Cli({"plan", "check", empty});
  EXPECT_EQ(nothing.exit, cli::kExitUsage);
  EXPECT_EQ(nothing.err, empty + ": the plan holds no [[module]] and no [bus_switch]: nothing to apply or verify\n");
  EXPECT_TRUE(nothing.out.empty());

  const Outcome piped = Cli({"plan", "check", "-"}, "[[module]]\naddress = 2\ntype = \"0204\"\n");
  EXPECT_EQ(piped.exit, cli::kExitOk) << piped.err;
  EXPECT_EQ(piped.out, "<stdin>: plan checked, 1 modules\n");
  const Outcome pipedWrong = Cli({"plan", "check", "-"}, "[[module]]\naddress = 40\n");
  EXPECT_EQ(pipedWrong.err, "<stdin>:2:11: module address 40 is out of range (1-32)\n");
  const Outcome json = Cli({"--json", "plan", "check", "-"}, "[[module]]\naddress = 2\n");
  EXPECT_EQ(Json::parse(json.out), Json::parse(R"({"file":"<stdin>","modules":1,"bus_switch":false,"errors":[]})"));
}

// ---- 4. A silent link is not drift

TEST_F(CliFaults, VerifyAgainstASilentLinkIsALinkProblem) {
  LoopbackSocket silent;
  const std::string plan = ExamplePlan(2001);
  const Outcome o = Cli(Udp(silent.port(), {"plan", "verify", plan}, 50));
  EXPECT_EQ(o.exit, cli::kExitNoReply);
  EXPECT_TRUE(o.out.empty()) << o.out;
  EXPECT_EQ(o.err, "veltra-cli: nothing answered: check the link (6 reads without a reply)\n");
}

TEST_F(CliFaults, DriftInJsonCarriesTheAddressAndTypedValues) {
  // Modules 1 and 2 answer, 3 to 5 are missing; the bus switch serves another server port.
  SimulatorOptions options;
  options.pty = false;
  options.population = ParsePopulation("light@1,curtain@2");
  SimulatorRuntime sim(options);
  const std::string plan = ExamplePlan(sim.UdpPort());
  ASSERT_EQ(Cli(Udp(sim.UdpPort(), {"bus-switch", "set", "--subnet-id", "1", "--ip", "127.0.0.1", "--port",
                                    std::to_string(sim.UdpPort()), "--mask", "255.0.0.0", "--gateway", "0.0.0.0",
                                    "--server-ip", "127.0.0.1", "--server-port", "2003", "--mac",
                                    "02:00:00:00:00:01"}))
                .exit,
            cli::kExitOk);
  const Outcome o = Cli(Udp(sim.UdpPort(), {"--json", "plan", "verify", plan}, 50));
  EXPECT_EQ(o.exit, cli::kExitDrift) << o.err;
  const Json drift = Json::parse(o.out)["drift"];
  ASSERT_GE(drift.size(), 4u) << o.out;
  EXPECT_EQ(drift[0]["item"], "bus switch");
  EXPECT_TRUE(drift[0]["address"].is_null());
  EXPECT_EQ(drift[0]["field"], "server_port");
  EXPECT_EQ(drift[0]["found"], 2003) << "a number";
  EXPECT_EQ(drift[0]["expected"], 2002);
  EXPECT_EQ(drift[0]["command"], "ReadAddress");
  EXPECT_EQ(drift[1]["address"], 2);
  EXPECT_EQ(drift[1]["field"], "module_type");
  EXPECT_EQ(drift[1]["found"], "0104");
  const Json& absent = drift.back();
  EXPECT_EQ(absent["address"], 5);
  EXPECT_EQ(absent["field"], "presence");
  EXPECT_EQ(absent["found"], false);
  EXPECT_EQ(absent["expected"], true);
  EXPECT_EQ(absent["subnet"], 1);
  EXPECT_TRUE(std::regex_match(absent["time"].get<std::string>(),
                               std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)")));
}

// ---- 5. A scene database that cannot be written

TEST_F(CliFaults, AReadOnlySceneDatabaseIsRefusedBeforeAnythingIsSent) {
  auto sim = UdpSimulator();
  const QString db = folder.filePath("ro.mdb");
  CreateSceneDatabase(VELTRA_SCENE_SCHEMA, db.toStdString());
  ASSERT_EQ(::chmod(db.toLocal8Bit().constData(), 0444), 0);
  const auto args = Udp(sim->UdpPort(), {"--scene-db", db.toStdString(), "scene", "set", "1", "4", "1", "0"});
  const Outcome o = Cli(args);
  EXPECT_EQ(o.exit, cli::kExitStorage);
  EXPECT_TRUE(o.out.empty()) << o.out;
  ASSERT_EQ(Lines(o.err).size(), 1u) << o.err;
  EXPECT_TRUE(Contains(o.err, "the scene database " + db.toStdString() + " cannot be written")) << o.err;
  EXPECT_TRUE(Contains(o.err, "nothing was sent")) << o.err;
  EXPECT_TRUE(sim->Bus().Module(1)->scenes.empty()) << "the scene never reached the bus";
  // The program itself: one line on its standard error, none of Qt's.
  ChildProgram program(VELTRA_CLI_PROGRAM, args);
  const ProgramRun run = program.Wait();
  EXPECT_EQ(run.status, cli::kExitStorage);
  EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
  EXPECT_TRUE(sim->Bus().Module(1)->scenes.empty());
  // plan apply likewise.
  const Outcome apply = Cli(Udp(sim->UdpPort(), {"--scene-db", db.toStdString(), "plan", "apply",
                                                 ExamplePlan(sim->UdpPort())}));
  EXPECT_EQ(apply.exit, cli::kExitStorage);
  EXPECT_TRUE(apply.out.empty());
}

// ---- 6. Garbage is not silence

TEST_F(CliFaults, AReplyThatIsNoFrameIsReportedAsSuch) {
  auto sim = UdpSimulator(0, 1, true);
  const Outcome o = Cli(Udp(sim->UdpPort(), {"read-type", "1"}, 200));
  EXPECT_EQ(o.exit, cli::kExitNoReply);
  EXPECT_TRUE(std::regex_search(o.err, std::regex(R"(^veltra-cli: reply not a valid frame \(\d+ bytes: 55 A)")))
      << o.err;
  EXPECT_TRUE(Contains(o.err, "line settings may not match")) << o.err;
  EXPECT_FALSE(Contains(o.err, "No reply")) << o.err;
  const Outcome json = Cli(Udp(sim->UdpPort(), {"--json", "read-type", "1"}, 200));
  EXPECT_EQ(json.exit, cli::kExitNoReply);
  const Json j = Json::parse(json.out);
  EXPECT_TRUE(j["reply"].is_null());
  ASSERT_TRUE(j["reply_invalid"].is_string()) << json.out;
  EXPECT_FALSE(j["reply_invalid"].get<std::string>().empty());

  // On the serial line: the bytes that started no frame.
  const Outcome serial = Cli({"--serial", sim->PtySlavePath(), "--timeout", "300", "read-type", "1"});
  EXPECT_EQ(serial.exit, cli::kExitNoReply);
  EXPECT_TRUE(Contains(serial.err, "reply not a valid frame (")) << serial.err;
  EXPECT_TRUE(Contains(serial.err, "--baud")) << serial.err;
}

// A module's text is whatever bytes it sends: JSON stays JSON.
TEST_F(CliFaults, AVersionThatIsNoUtf8StillGivesJson) {
  LoopbackSocket module;
  std::thread answer([&] {
    sockaddr_in from{};
    if (module.Receive(2000, &from).empty()) return;
    module.SendTo(from, BuildReplyFrame(FrameForm::Routed, 1, 2, 0x80, 7, kStatusOk, {'V', 0xFF, 0xC3, '1'}));
  });
  const Outcome o = Cli(Udp(module.port(), {"--json", "read-version", "2"}, 2000));
  answer.join();
  EXPECT_EQ(o.exit, cli::kExitOk) << o.err;
  const Json j = Json::parse(o.out);
  EXPECT_EQ(j["status_word"], "OK!");
  EXPECT_EQ(j["result"]["version"].get<std::string>().front(), 'V');
}

// ---- 7. monitor as a logger

TEST_F(CliFaults, MonitorLinesSayWhenWhoToWhomAndWhat) {
  const int port = FreeUdpPort();
  LoopbackSocket bus;
  std::thread sender([&] {
    std::this_thread::sleep_for(250ms);
    bus.SendTo(port, BuildReplyFrame(FrameForm::Routed, 1, 3, 0x80, 6, 1, {0x01, 0x04}));  // module type of 1/3
    bus.SendTo(port, {0x01, 0x02, 0x03});                                                   // no frame: left out
    bus.SendTo(port, BuildReplyFrame(FrameForm::Routed, 258, 7, 0x82, 1, kStatusParameterError, {}));
  });
  const std::vector<std::string> args{"--udp", "127.0.0.1:" + std::to_string(bus.port()), "--local-port",
                                      std::to_string(port), "monitor"};
  const Outcome text = CliStopped(args, 500ms);
  sender.join();
  EXPECT_EQ(text.exit, 130);
  const auto lines = Lines(text.out);
  ASSERT_EQ(lines.size(), 2u) << text.out;
  const std::string from = "127.0.0.1:" + std::to_string(bus.port());
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}  )" + from +
                                                    R"(  1/3 -> master  ReadModuleType reply  OK!  Module type: 0104)")))
      << lines[0];
  EXPECT_TRUE(Contains(lines[1], "  258/7 -> master  On reply  Parameter error!")) << lines[1];

  std::thread again([&] {
    std::this_thread::sleep_for(250ms);
    bus.SendTo(port, BuildReplyFrame(FrameForm::Routed, 1, 3, 0x80, 6, 1, {0x01, 0x04}));
  });
  std::vector<std::string> json = args;
  json.insert(json.begin(), "--json");
  const Outcome j = CliStopped(json, 500ms);
  again.join();
  ASSERT_EQ(Lines(j.out).size(), 1u) << j.out;
  const Json line = Json::parse(j.out);
  EXPECT_EQ(line["source"], from);
  EXPECT_EQ(line["kind"], "reply");
  EXPECT_EQ(line["command"], "ReadModuleType");
  EXPECT_EQ(line["address"], 3);
  EXPECT_EQ(line["subnet"], 1);
  EXPECT_EQ(line["status_word"], "OK!");
  EXPECT_EQ(line["result"]["module_type"], "0104");
  EXPECT_TRUE(line["time"].is_string());
}

// A capture killed with SIGKILL keeps what came up to a second before.
TEST_F(CliFaults, MonitorStreamsItsCaptureToDisk) {
  const int port = FreeUdpPort();
  LoopbackSocket bus;
  const std::string capture = Path("monitor.pcap");
  ChildProgram monitor(VELTRA_CLI_PROGRAM, {"--udp", "127.0.0.1:" + std::to_string(bus.port()), "--local-port",
                                            std::to_string(port), "--capture", capture, "monitor"});
  ASSERT_TRUE(monitor.Started());
  auto records = [&] {
    try {
      return ReadCaptureFile(capture).records.size();
    } catch (const std::exception&) {
      return std::size_t{0};  // not there yet
    }
  };
  // Frames until the monitor is listening and one is on disk.
  const SimFrame probe = BuildReplyFrame(FrameForm::Routed, 1, 9, 0x80, 6, 1, {1, 4});
  for (int i = 0; i < 100 && records() == 0; ++i) {
    bus.SendTo(port, probe);
    std::this_thread::sleep_for(200ms);
  }
  std::this_thread::sleep_for(800ms);  // every probe flushed
  const std::size_t before = records();
  ASSERT_GT(before, 0u);
  for (int i = 0; i < 3; ++i) bus.SendTo(port, BuildReplyFrame(FrameForm::Routed, 1, i + 1, 0x80, 6, 1, {1, 4}));
  std::this_thread::sleep_for(1500ms);
  monitor.Signal(SIGKILL);
  EXPECT_EQ(monitor.Wait().status, 128 + SIGKILL);
  const CaptureFileContents file = ReadCaptureFile(capture);
  EXPECT_EQ(file.linkType, 101u);
  EXPECT_EQ(file.records.size(), before + 3) << "every frame that came more than a second before the kill";
}

// ---- 8. Failures with their reasons

TEST_F(CliFaults, LinkFailuresSayWhyAndWhatHelps) {
  int closed = 0;
  {
    LoopbackSocket gone;
    closed = gone.port();
  }
  const Outcome refused = Cli(Udp(closed, {"read-type", "1"}, 2000));
  EXPECT_EQ(refused.exit, cli::kExitLinkError);
  EXPECT_EQ(refused.err, "veltra-cli: connection refused by 127.0.0.1:" + std::to_string(closed) +
                             " (Connection refused: nothing listens there; check the bus switch's address and port)\n");

  const Outcome unknown = Cli({"--udp", "nosuch.invalid", "--local-port", "0", "read-type", "1"});
  EXPECT_EQ(unknown.exit, cli::kExitLinkError);
  EXPECT_TRUE(Contains(unknown.err, "veltra-cli: cannot find the host nosuch.invalid (")) << unknown.err;
  EXPECT_TRUE(Contains(unknown.err, "check the host name, or give the bus switch's IPv4 address")) << unknown.err;
  EXPECT_FALSE(Contains(unknown.err, "Socket Error")) << unknown.err;

  LoopbackSocket holder;
  const Outcome taken = Cli({"--udp", "127.0.0.1", "--local-port", std::to_string(holder.port()), "read-type", "1"});
  EXPECT_EQ(taken.exit, cli::kExitLinkError);
  EXPECT_EQ(taken.err, "veltra-cli: cannot use the local port " + std::to_string(holder.port()) +
                           " (Address already in use: port " + std::to_string(holder.port()) +
                           " is taken: try --local-port 0)\n");

  Pty line;
  ASSERT_TRUE(line.ok());
  const int other = ::open(line.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0) << "another program holds the port";
  const Outcome busy = Cli({"--serial", line.path(), "read-type", "1"});
  ::close(other);
  EXPECT_EQ(busy.exit, cli::kExitLinkError);
  EXPECT_EQ(busy.err, "veltra-cli: Error opening serial port " + line.path() +
                          " (Device or resource busy: another program holds the port)\n");
}

TEST_F(CliFaults, FilesThatCannotBeReadOrWrittenSayWhy) {
  const QString db = folder.filePath("scenes.mdb");
  CreateSceneDatabase(VELTRA_SCENE_SCHEMA, db.toStdString());
  const Outcome out = Cli({"--scene-db", db.toStdString(), "plan", "export", "-o", "/nonexistentdir/x.toml"});
  EXPECT_EQ(out.exit, cli::kExitStorage);
  EXPECT_EQ(out.err, "veltra-cli: the scene table holds no scene: the plan names no module\n"
                     "veltra-cli: cannot write /nonexistentdir/x.toml (No such file or directory)\n");
  const Outcome capture = Cli({"--udp", "127.0.0.1", "--capture", "/nonexistentdir/x.pcap", "read-type", "1"});
  EXPECT_EQ(capture.exit, cli::kExitStorage);
  EXPECT_TRUE(Contains(capture.err, "cannot write the capture /nonexistentdir/x.pcap: No such file or directory"))
      << capture.err;
  const Outcome run = Cli({"--udp", "127.0.0.1", "run", folder.path().toStdString()});
  EXPECT_EQ(run.exit, cli::kExitUsage);
  EXPECT_EQ(run.err, "veltra-cli: cannot read the commands " + folder.path().toStdString() + " (Is a directory)\n");
}

// ---- 9. Small things

TEST_F(CliFaults, SmallThingsThatWereWrong) {
  // The export's placeholder names no real type.
  const QString db = folder.filePath("scenes.mdb");
  CreateSceneDatabase(VELTRA_SCENE_SCHEMA, db.toStdString());
  {
    SceneRepository store;
    ASSERT_TRUE(store.Open(db.toStdString()));
    store.SaveScene(4, 3, {"1", "0", "X", "X", "X", "X", "X", "X"});
  }
  const Outcome exported = Cli({"--scene-db", db.toStdString(), "plan", "export"});
  EXPECT_TRUE(Contains(exported.out, "address = 3\n# type = \"....\"")) << exported.out;
  EXPECT_FALSE(Contains(exported.out, "0208")) << exported.out;

  // The bus switch is not a module.
  const Outcome help = Cli({"bus-switch", "restore", "--help"});
  EXPECT_TRUE(Contains(help.out, "the bus switch forgets its settings")) << help.out;
  EXPECT_FALSE(Contains(help.out, "module")) << help.out;
  EXPECT_TRUE(Contains(Cli({"restore", "--help"}).out, "the module forgets its settings"));

  // Options a command cannot honour are refused, not ignored.
  LoopbackSocket peer;
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"--repeat", "3", "scan"}, {"--repeat", "2", "plan", "check", "x.toml"},
        {"--interval", "10", "monitor"}, {"--repeat", "2", "plan", "apply", "x.toml"}, {"--json", "plan", "export"},
        {"--quiet", "monitor"}}) {
    SCOPED_TRACE(::testing::PrintToString(command));
    const Outcome o = Cli(Udp(peer.port(), command));
    EXPECT_EQ(o.exit, cli::kExitUsage);
    EXPECT_TRUE(Contains(o.err, "is not for")) << o.err;
  }
  EXPECT_TRUE(peer.Receive(100).empty()) << "nothing sent";

  // A scan that finds nothing is a failure.
  const Outcome scan = Cli(Udp(peer.port(), {"scan", "--from", "1", "--to", "2"}, 20));
  EXPECT_EQ(scan.exit, cli::kExitNoReply);
  EXPECT_EQ(scan.err, "veltra-cli: nothing answered at addresses 1-2: check the link\n");
}

}  // namespace
}  // namespace veltra::test
