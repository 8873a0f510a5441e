// veltra-cli scan and plan commands against the in-process simulated bus:
// a known population scanned, the example plan applied then verified with no
// drift, drift found after the bus changed behind the plan's back, apply
// stopping at an error status, plan checks and the scene table's export.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <QTemporaryDir>
#include <fstream>
#include <sstream>

#include "cli_support.h"
#include "plan/site_plan.h"
#include "scenes/scene_repository.h"
#include "scenes/scene_store_schema.h"
#include "sim/simulator_runtime.h"

namespace veltra::test {
namespace {

std::unique_ptr<SimulatorRuntime> Simulator(const std::string& population) {
  SimulatorOptions options;
  options.pty = false;
  options.population = ParsePopulation(population);
  return std::make_unique<SimulatorRuntime>(options);
}

class PlanCli : public ::testing::Test {
 protected:
  QTemporaryDir folder;
  std::unique_ptr<SimulatorRuntime> sim = Simulator("default");

  std::vector<std::string> Args(std::vector<std::string> command, int timeoutMs = 100) {
    std::vector<std::string> args{"--udp", "127.0.0.1:" + std::to_string(sim->UdpPort()), "--local-port", "0",
                                  "--timeout", std::to_string(timeoutMs)};
    args.insert(args.end(), command.begin(), command.end());
    return args;
  }
  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = folder.filePath(QString::fromStdString(name)).toStdString();
    std::ofstream(path) << text;
    return path;
  }
  // The example plan, told the simulator's real port so that its bus switch
  // record is what the simulator serves.
  std::string ExamplePlan() {
    std::ifstream in(VELTRA_EXAMPLE_PLAN);
    std::ostringstream text;
    text << in.rdbuf();
    std::string plan = text.str();
    const std::string port = "port = 2001";
    plan.replace(plan.find(port), port.size(), "port = " + std::to_string(sim->UdpPort()));
    return Write("site.toml", plan);
  }
};

TEST_F(PlanCli, ScanListsTheModulesThatAnswerWithTypesAndVersions) {
  sim = Simulator("light:4@2,curtain@5,ir@6,input@9,light@-");
  const Outcome o = Cli(Args({"--json", "scan", "--from", "1", "--to", "10"}));
  ASSERT_EQ(o.exit, cli::kExitOk) << o.err;
  const auto rows = nlohmann::json::parse(o.out);
  ASSERT_EQ(rows.size(), 4u) << o.out;
  const std::vector<std::tuple<int, std::string, std::string>> expected{
      {2, "0204", "Light-4 V1.0"}, {5, "0104", "Curtain-4 V1.0"}, {6, "0301", "IR V1.0"}, {9, "0408", "Input-8 V1.0"}};
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i]["address"], std::get<0>(expected[i]));
    EXPECT_EQ(rows[i]["module_type"], std::get<1>(expected[i]));
    EXPECT_EQ(rows[i]["version"], std::get<2>(expected[i]));
    EXPECT_GT(rows[i]["round_trip_ms"].get<double>(), 0.0);
  }

  const std::string capture = folder.filePath("scan.pcap").toStdString();
  const Outcome text = Cli(Args({"--capture", capture, "scan", "--from", "5", "--to", "7"}));
  EXPECT_EQ(text.exit, cli::kExitOk);
  // Its 5 requests and 4 replies: each a 16-byte record header, IPv4, UDP and the frame.
  std::ifstream pcap(capture, std::ios::binary | std::ios::ate);
  EXPECT_GT(static_cast<long>(pcap.tellg()), 24 + 9 * (16 + 20 + 8 + 10));
  const auto lines = Lines(text.out);
  ASSERT_EQ(lines.size(), 4u) << text.out;
  EXPECT_EQ(lines[0].rfind("Address  Module Type  Version", 0), 0u);
  EXPECT_EQ(lines[1].rfind("5        0104         Curtain-4 V1.0", 0), 0u) << lines[1];
  EXPECT_EQ(lines[3], "2 modules answered of 3 addresses");
  EXPECT_EQ(Cli(Args({"scan", "--from", "9", "--to", "3"})).exit, cli::kExitUsage);
  EXPECT_EQ(Cli(Args({"scan", "--to", "33"})).exit, cli::kExitUsage);
}

TEST_F(PlanCli, ApplyThenVerifyShowsNoDriftAndKeepsTheScenes) {
  const std::string plan = ExamplePlan();
  const QString db = folder.filePath("scenes.db");
  CreateSceneDatabase(VELTRA_SCENE_SCHEMA, db.toStdString());
  const Outcome applied = Cli(Args({"--scene-db", db.toStdString(), "plan", "apply", plan}));
  ASSERT_EQ(applied.exit, cli::kExitOk) << applied.out << applied.err;
  const auto lines = Lines(applied.out);
  ASSERT_EQ(lines.size(), 14u) << applied.out;
  EXPECT_EQ(lines[0], "[ 1/13] bus switch: network settings, subnet 1: OK!");
  EXPECT_EQ(lines[1], "[ 2/13] module 1 (Hall and stairs lights): light output 1 turn-on time 2 s: OK!");
  EXPECT_EQ(lines[8], "[ 9/13] module 3 (Living room curtains): curtain output 1 travel time 25.0 s: OK!");
  EXPECT_EQ(lines.back(), "Sent 13 of 13, confirmed 13, failed 0");

  // What the simulated bus now holds.
  const auto hall = sim->Bus().Module(1);
  ASSERT_TRUE(hall);
  EXPECT_EQ(hall->times[4], 30);
  EXPECT_EQ(hall->scenes.at(1), (std::vector<std::uint8_t>{1, 1, 0, 0, 255, 255, 255, 255}));
  EXPECT_EQ(sim->Bus().Module(5)->bindings.size(), 3u);
  {
    SceneRepository store;
    ASSERT_TRUE(store.Open(db.toStdString()));
    EXPECT_EQ(store.ReadAll().size(), 3u) << "the three scenes confirmed";
  }

  const Outcome verified = Cli(Args({"plan", "verify", plan}));
  EXPECT_EQ(verified.exit, cli::kExitOk) << verified.out << verified.err;
  EXPECT_EQ(verified.out, "No drift: 5 modules and the bus switch as planned.\n");
}

TEST_F(PlanCli, VerifyReportsExactlyWhatChangedBehindThePlansBack) {
  const std::string plan = ExamplePlan();
  ASSERT_EQ(Cli(Args({"plan", "apply", plan})).exit, cli::kExitOk);
  // Another bus: a curtain module where a light module was, and none at 4;
  // the bus switch told another server port.
  const int port = sim->UdpPort();
  sim.reset();
  SimulatorOptions options;
  options.pty = false;
  options.udpPort = port;
  options.population = ParsePopulation("curtain@1,light@2,curtain@3,input@5");
  sim = std::make_unique<SimulatorRuntime>(options);
  ASSERT_EQ(Cli(Args({"bus-switch", "set", "--subnet-id", "1", "--ip", "127.0.0.1", "--port", std::to_string(port),
                      "--mask", "255.0.0.0", "--gateway", "0.0.0.0", "--server-ip", "127.0.0.1", "--server-port",
                      "2003", "--mac", "02:00:00:00:00:01"}))
                .exit,
            cli::kExitOk);

  const Outcome o = Cli(Args({"plan", "verify", plan}));
  EXPECT_EQ(o.exit, cli::kExitDrift) << o.err;
  EXPECT_EQ(Lines(o.out), (std::vector<std::string>{
                              "drift: bus switch: server_port is 2003, the plan says 2002",
                              "drift: module 1 (Hall and stairs lights): module_type is 0104, the plan says 0208",
                              "drift: module 1 (Hall and stairs lights): version is Curtain-4 V1.0, the plan says "
                              "Light-8 V1.0",
                              "drift: module 4 (Infrared transmitter): presence is no reply, the plan says a module of "
                              "type 0301",
                              "4 differences from the plan.",
                          }));
  // A module the plan does not name counts only when asked for.
  const std::string small = Write("small.toml", "[[module]]\naddress = 2\ntype = \"0208\"\n");
  EXPECT_EQ(Cli(Args({"plan", "verify", small})).exit, cli::kExitOk);
  const Outcome all = Cli(Args({"plan", "verify", small, "--unplanned"}, 20));
  EXPECT_EQ(all.exit, cli::kExitDrift);
  EXPECT_EQ(Lines(all.out), (std::vector<std::string>{
                                "drift: module 1: presence is a module of type 0104, the plan says no module",
                                "drift: module 3: presence is a module of type 0104, the plan says no module",
                                "drift: module 5: presence is a module of type 0408, the plan says no module",
                                "3 differences from the plan.",
                            }));

  const Outcome json = Cli(Args({"--json", "plan", "verify", plan}));
  EXPECT_EQ(json.exit, cli::kExitDrift);
  const auto j = nlohmann::json::parse(json.out);
  ASSERT_EQ(j["drift"].size(), 4u);
  EXPECT_EQ(j["drift"][1]["field"], "module_type");
  EXPECT_EQ(j["drift"][1]["found"], "0104");
  EXPECT_EQ(j["drift"][1]["expected"], "0208");
}

TEST_F(PlanCli, ApplyStopsAtTheFirstErrorStatusUnlessToldToKeepGoing) {
  // Output 8 of a four-output light module is a parameter error.
  sim = Simulator("light:4@1");
  const std::string plan = Write("bad.toml", "[[module]]\naddress = 1\nturn_on_seconds = { 1 = 5, 8 = 5, 2 = 5 }\n");
  const Outcome stopped = Cli(Args({"plan", "apply", plan}));
  EXPECT_EQ(stopped.exit, cli::kExitErrorStatus);
  EXPECT_EQ(Lines(stopped.out), (std::vector<std::string>{
                                    "[1/3] module 1: light output 1 turn-on time 5 s: OK!",
                                    "[2/3] module 1: light output 2 turn-on time 5 s: OK!",
                                    "[3/3] module 1: light output 8 turn-on time 5 s: Parameter error!",
                                    "Sent 3 of 3, confirmed 2, failed 1",
                                    "  failed: module 1: light output 8 turn-on time 5 s: Parameter error!",
                                }));

  const std::string early = Write("early.toml", "[[module]]\naddress = 1\nturn_on_seconds = { 7 = 5, 1 = 5 }\n"
                                                "[[module]]\naddress = 2\nturn_on_seconds = { 1 = 5 }\n");
  const Outcome first = Cli(Args({"plan", "apply", early}));
  EXPECT_EQ(first.exit, cli::kExitErrorStatus);
  const auto lines = Lines(first.out);
  EXPECT_EQ(lines[2], "Sent 2 of 3, confirmed 1, failed 1");
  EXPECT_EQ(lines.back(), "Stopped at the first failure; --keep-going sends the rest.");

  const Outcome onward = Cli(Args({"--json", "plan", "apply", early, "--keep-going"}));
  EXPECT_EQ(onward.exit, cli::kExitErrorStatus) << "the first failure decides";
  const auto summary = nlohmann::json::parse(Lines(onward.out).back());
  EXPECT_EQ(summary["sent"], 3);
  EXPECT_EQ(summary["confirmed"], 1);
  ASSERT_EQ(summary["failed"].size(), 2u);
  EXPECT_EQ(summary["failed"][1]["status_word"], "no reply") << "nobody at address 2";
}

TEST_F(PlanCli, CheckSendsNothingAndNamesEachErrorsPlace) {
  const std::string good = ExamplePlan();
  const Outcome ok = Cli({"plan", "check", good});
  EXPECT_EQ(ok.exit, cli::kExitOk) << ok.err;
  EXPECT_EQ(ok.out, good + ": plan checked, 5 modules\n");

  const std::string bad = Write("bad.toml", "[[module]]\naddress = 0\n[[module.scene]]\nnumber = 1\nchannels = \"11\"\n");
  const Outcome refused = Cli({"plan", "check", bad});
  EXPECT_EQ(refused.exit, cli::kExitUsage);
  EXPECT_EQ(refused.err, bad + ":2:11: module address 0 is out of range (1-32)\n");
  // Apply and verify refuse the same file before opening a link.
  EXPECT_EQ(Cli(Args({"plan", "apply", bad})).exit, cli::kExitUsage);
  EXPECT_EQ(Cli(Args({"plan", "verify", folder.filePath("missing.toml").toStdString()})).exit, cli::kExitUsage);
  EXPECT_EQ(Cli({"plan", "apply", good}).exit, cli::kExitUsage) << "no link named";
}

TEST_F(PlanCli, ExportWritesThePlanOfTheSceneTable) {
  const QString db = folder.filePath("scenes.db");
  CreateSceneDatabase(VELTRA_SCENE_SCHEMA, db.toStdString());
  {
    SceneRepository store;
    ASSERT_TRUE(store.Open(db.toStdString()));
    store.SaveScene(4, 2, {"1", "0", "X", "X", "X", "X", "X", "X"});
    store.SaveScene(1, 2, {"X", "X", "X", "X", "X", "X", "X", "1"});
    store.SaveScene(7, 9, {"X", "X", "X", "X", "X", "X", "X", "X"});
    store.SaveScene(7, 40, {"1", "X", "X", "X", "X", "X", "X", "X"});  // no such address
  }
  const std::string out = folder.filePath("exported.toml").toStdString();
  const Outcome o = Cli({"--scene-db", db.toStdString(), "plan", "export", "-o", out});
  ASSERT_EQ(o.exit, cli::kExitOk) << o.err;
  EXPECT_NE(o.err.find("scene record 4 left out"), std::string::npos) << o.err;
  std::ifstream in(out);
  std::ostringstream text;
  text << in.rdbuf();
  const auto parsed = plan::ParsePlan(text.str(), out);
  ASSERT_TRUE(parsed.plan) << text.str();
  ASSERT_EQ(parsed.plan->modules.size(), 2u);
  const plan::Module& two = parsed.plan->modules[0];
  ASSERT_EQ(two.scenes.size(), 2u);
  EXPECT_EQ(two.scenes[0].number, 1);
  EXPECT_EQ(two.scenes[0].channels, (std::vector<int>{2, 2, 2, 2, 2, 2, 2, 1}));
  EXPECT_EQ(two.scenes[1].channels, (std::vector<int>{1, 0}));
  EXPECT_EQ(parsed.plan->modules[1].scenes[0].channels, (std::vector<int>{2}));

  EXPECT_EQ(Cli({"plan", "export"}).exit, cli::kExitUsage) << "without --scene-db";
}

}  // namespace
}  // namespace veltra::test
