// veltra-cli against modules that answer late: a reply that comes after its
// request's time-out is never taken for the answer to a later request, in a
// single command, a scan or a plan applied.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <QTemporaryDir>
#include <fstream>

#include "../link/bus_peer.h"
#include "../support/loopback_socket.h"
#include "cli_support.h"
#include "scenes/scene_repository.h"
#include "scenes/scene_store_schema.h"
#include "sim/simulator_runtime.h"

namespace veltra::test {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> Udp(int port, int localPort, int timeoutMs, std::vector<std::string> command) {
  std::vector<std::string> args{"--udp", "127.0.0.1:" + std::to_string(port), "--local-port", std::to_string(localPort),
                                "--timeout", std::to_string(timeoutMs)};
  args.insert(args.end(), command.begin(), command.end());
  return args;
}

// The address a routed request goes to.
int AddressOf(const std::vector<std::uint8_t>& request) { return request.size() > 5 ? request[5] : -1; }

TEST(LateReplies, ASecondRunOnTheSameLocalPortGetsItsOwnAnswer) {
  // Every reply leaves 400 ms after its request.
  SimulatorOptions options;
  options.pty = false;
  options.faults.delayMs = 400;
  SimulatorRuntime sim(options);
  const int local = FreeUdpPort();

  const Outcome type = Cli(Udp(sim.UdpPort(), local, 250, {"--json", "read-type", "3"}));
  EXPECT_EQ(type.exit, cli::kExitNoReply);
  // Module 3's type comes ~150 ms into this run's wait, on the same port.
  const Outcome version = Cli(Udp(sim.UdpPort(), local, 700, {"--json", "read-version", "1"}));
  ASSERT_EQ(version.exit, cli::kExitOk) << version.err;
  const auto j = nlohmann::json::parse(version.out);
  EXPECT_EQ(j["result"], nlohmann::json({{"version", "Light-8 V1.0"}})) << version.out;
}

TEST(LateReplies, AScanListsOnlyWhatAnsweredIt) {
  // Module 1 answers after the time-out, module 3 within it; 2 is absent.
  DelayedBusPeer peer({{ModuleKind::Light, 1, false, 8}, {ModuleKind::Curtain, 3, false, 4}},
                      [](const std::vector<std::uint8_t>& request) { return AddressOf(request) == 1 ? 320ms : 80ms; });
  const Outcome o = Cli(Udp(peer.port(), 0, 200, {"--json", "scan", "--from", "1", "--to", "3"}));
  ASSERT_EQ(o.exit, cli::kExitOk) << o.err;
  const auto rows = nlohmann::json::parse(o.out);
  ASSERT_EQ(rows.size(), 1u) << o.out;
  EXPECT_EQ(rows[0]["address"], 3);
  EXPECT_EQ(rows[0]["module_type"], "0104");
  EXPECT_EQ(rows[0]["version"], "Curtain-4 V1.0");
}

TEST(LateReplies, PlanApplyConfirmsOnlyWhatAnsweredItsOwnRequest) {
  // The bus switch answers after the time-out; module 7 is not on the bus.
  DelayedBusPeer peer({{ModuleKind::Light, 1, false, 8}},
                      [](const std::vector<std::uint8_t>& request) { return AddressOf(request) == 0xFF ? 300ms : 0ms; });
  QTemporaryDir folder;
  const std::string planPath = folder.filePath("plan.toml").toStdString();
  std::ofstream(planPath) << "subnet = 1\n"
                             "[bus_switch]\nip = \"127.0.0.1\"\nport = 2001\nmask = \"255.0.0.0\"\n"
                             "gateway = \"0.0.0.0\"\nserver_ip = \"127.0.0.1\"\nserver_port = 2002\n"
                             "mac = \"02:00:00:00:00:01\"\n"
                             "[[module]]\naddress = 7\nturn_on_seconds = { 1 = 5 }\n"
                             "  [[module.scene]]\n  number = 3\n  channels = \"10\"\n";
  const QString db = folder.filePath("scenes.mdb");
  CreateSceneDatabase(VELTRA_SCENE_SCHEMA, db.toStdString());

  const Outcome o = Cli(Udp(peer.port(), 0, 200,
                            {"--json", "--scene-db", db.toStdString(), "plan", "apply", planPath, "--keep-going"}));
  EXPECT_EQ(o.exit, cli::kExitNoReply) << o.out << o.err;
  const auto lines = Lines(o.out);
  ASSERT_EQ(lines.size(), 4u) << o.out;
  for (int i = 0; i < 3; ++i) {
    const auto step = nlohmann::json::parse(lines[static_cast<std::size_t>(i)]);
    EXPECT_TRUE(step["reply"].is_null()) << lines[static_cast<std::size_t>(i)];
    EXPECT_TRUE(step["status_word"].is_null());
  }
  const auto summary = nlohmann::json::parse(lines[3]);
  EXPECT_EQ(summary["confirmed"], 0);
  EXPECT_EQ(summary["failed"].size(), 3u);

  SceneRepository store;
  ASSERT_TRUE(store.Open(db.toStdString()));
  EXPECT_EQ(store.ReadAll().size(), 0u) << "no scene stored on another request's confirmation";
}

}  // namespace
}  // namespace veltra::test
