// veltra-cli and the frame history: monitor --history records the traffic
// of the simulated bus (its load mode) on both links into the history under
// XDG_STATE_HOME; history prints it back filtered, as text, JSON lines, CSV
// or pcap; stats gives the line's health; and a monitor killed with SIGKILL
// while frames stream leaves a whole file that holds every frame up to
// about a second before the kill.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <thread>

#include "../capture/capture_support.h"
#include "../support/loopback_socket.h"
#include "cli_support.h"
#include "history/history_store.h"
#include "sim/simulator_runtime.h"

extern char** environ;

namespace veltra::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Runs `monitor --history` on the link for a while, in-process, until a
// SIGINT's stop.
Outcome Monitor(std::vector<std::string> link, std::chrono::milliseconds length) {
  link.insert(link.end(), {"monitor", "--history"});
  return CliStopped(link, length, SIGINT);
}

class HistoryCli : public ::testing::Test {
 protected:
  // The history the tools use by default: the scratch state folder of this
  // test run (set by the test main).
  std::string path = std::string(std::getenv("XDG_STATE_HOME")) + "/veltra/history.sqlite";
  void SetUp() override { fs::remove(path); }
};

TEST_F(HistoryCli, MonitorRecordsBothLinksAndHistoryPrintsThemBackFiltered) {
  SimulatorOptions options;
  options.load.rate = 300;
  options.load.badEvery = 50;
  const int local = FreeUdpPort();
  options.load.udpPort = local;
  SimulatorRuntime sim(options);

  const Outcome udp = Monitor({"--udp", "127.0.0.1:" + std::to_string(sim.UdpPort()), "--local-port",
                               std::to_string(local)},
                              700ms);
  ASSERT_EQ(udp.exit, cli::ExitForSignal(SIGINT)) << udp.err;
  EXPECT_NE(udp.err.find("recording the frames into " + path), std::string::npos) << udp.err;
  const Outcome serial = Monitor({"--serial", sim.PtySlavePath()}, 700ms);
  ASSERT_EQ(serial.exit, cli::ExitForSignal(SIGINT)) << serial.err;

  // Every frame the monitors printed is in the history, and the bad ones.
  const std::size_t printed = Lines(udp.out).size() + Lines(serial.out).size();
  const Outcome all = Cli({"history"});
  ASSERT_EQ(all.exit, cli::kExitOk) << all.err;
  const std::vector<std::string> lines = Lines(all.out);
  EXPECT_GE(lines.size(), printed);
  EXPECT_GT(printed, 200u);
  std::set<std::string> links;
  const std::regex line(R"((\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})  (Com \S+|TCP/IP 127\.0\.0\.1:\d+)  Received  .*)");
  for (const std::string& l : lines) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(l, m, line)) << l;
    links.insert(m[2]);
  }
  EXPECT_EQ(links, (std::set<std::string>{"Com " + sim.PtySlavePath(),
                                          "TCP/IP 127.0.0.1:" + std::to_string(sim.UdpPort())}));

  // Filters: one address, one command, failures.
  const Outcome two = Cli({"history", "--address", "2", "--command", "ReadStatus", "--json"});
  ASSERT_EQ(two.exit, cli::kExitOk) << two.err;
  ASSERT_FALSE(Lines(two.out).empty());
  for (const std::string& l : Lines(two.out)) {
    const auto j = nlohmann::json::parse(l);
    EXPECT_EQ(j["address"], 2);
    EXPECT_EQ(j["command"], "ReadStatus");
  }
  const Outcome failures = Cli({"history", "--failures", "--json"});
  ASSERT_FALSE(Lines(failures.out).empty());
  for (const std::string& l : Lines(failures.out)) {
    const auto flags = nlohmann::json::parse(l)["flags"];
    EXPECT_TRUE(flags.dump().find("bad checksum") != std::string::npos ||
                flags.dump().find("noise skipped") != std::string::npos)
        << l;
  }

  // CSV and pcap read back.
  const Outcome csv = Cli({"history", "--csv", "--address", "3"});
  EXPECT_EQ(Lines(csv.out)[0], "time,link,direction,subnet,address,command,status,details,round_trip_ms,flags,bytes");
  const std::string capture = fs::path(path).parent_path() / "frames.pcap";
  const Outcome pcap = Cli({"history", "--pcap", capture, "--address", "3"});
  ASSERT_EQ(pcap.exit, cli::kExitOk) << pcap.err;
  const std::size_t frames = std::stoul(pcap.out);
  EXPECT_EQ(frames, Lines(csv.out).size() - 1);
  const std::string serialCapture = fs::path(path).parent_path() / "frames-serial.pcap";
  EXPECT_EQ(ReadCaptureFile(capture).records.size() + ReadCaptureFile(serialCapture).records.size(), frames);

  // Time spans.
  EXPECT_TRUE(Cli({"history", "--since", "-1h"}).out == all.out);
  EXPECT_TRUE(Cli({"history", "--until", "-1h"}).out.empty());
  const Outcome badTime = Cli({"history", "--since", "yesterday-ish"});
  EXPECT_EQ(badTime.exit, cli::kExitUsage);
  EXPECT_NE(badTime.err.find("not a time: yesterday-ish"), std::string::npos);
  EXPECT_EQ(Cli({"history", "--command", "Dance"}).exit, cli::kExitUsage);

  // The line's health: every frame heard, the bad ones among them.
  const Outcome stats = Cli({"stats", "--json"});
  ASSERT_EQ(stats.exit, cli::kExitOk) << stats.err;
  const auto figures = nlohmann::json::parse(stats.out);
  const auto noiseRows = std::count_if(lines.begin(), lines.end(),
                                       [](const std::string& l) { return l.find("[noise skipped") != std::string::npos; });
  EXPECT_EQ(figures["frames"].get<std::size_t>(), lines.size() - static_cast<std::size_t>(noiseRows))
      << "every row but the noise is a frame on the wire";
  EXPECT_GT(figures["bad_checksums"], 0);
  EXPECT_EQ(figures["sent"], 0);
  EXPECT_EQ(figures["occupancy"].size(), 1u) << "the serial line's";
  EXPECT_EQ(figures["modules"].size(), 5u);
  const Outcome text = Cli({"stats", "--address", "1"});
  EXPECT_NE(text.out.find("Unrelated frames:"), std::string::npos) << text.out;
}

TEST_F(HistoryCli, ReadersNeverMakeAHistoryAndLimitsAreKeptInIt) {
  const Outcome missing = Cli({"history"});
  EXPECT_EQ(missing.exit, cli::kExitLinkError);
  EXPECT_NE(missing.err.find("no frame history at " + path), std::string::npos) << missing.err;
  EXPECT_FALSE(fs::exists(path));

  const Outcome set = Cli({"history-limits", "--max-size", "64", "--max-age", "7"});
  ASSERT_EQ(set.exit, cli::kExitOk) << set.err;
  EXPECT_EQ(set.out, path + ": 0 frames; keeps 64 MB, 7 days\n");
  EXPECT_EQ(Cli({"history-limits"}).out, set.out);
  history::HistoryStore store(path, history::HistoryStore::Mode::Existing);
  EXPECT_EQ(store.Limits(), (history::HistoryLimits{64LL * 1024 * 1024, 7}));
}

// A frame whose bytes carry its number: a version reply "#N".
Bytes Numbered(int n) {
  const std::string text = "#" + std::to_string(n);
  return BuildReplyFrame(FrameForm::Routed, 1, 1, 0x80, 7, 1, std::vector<std::uint8_t>(text.begin(), text.end()));
}

TEST_F(HistoryCli, AMonitorKilledWhileFramesStreamLeavesAWholeHistory) {
  const int local = FreeUdpPort();
  std::vector<std::string> args{VELTRA_CLI_PROGRAM, "--udp", "127.0.0.1:9", "--local-port", std::to_string(local),
                                "monitor", "--history"};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t child = -1;
  ASSERT_EQ(posix_spawn(&child, args[0].c_str(), &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);

  // Wait until it records, then stream numbered frames at about 1000 a
  // second for two seconds, and kill it without warning.
  LoopbackSocket sender;
  for (int i = 0; i < 200 && !fs::exists(path); ++i) std::this_thread::sleep_for(10ms);
  std::this_thread::sleep_for(200ms);
  using Clock = std::chrono::steady_clock;
  std::vector<Clock::time_point> sentAt;
  const auto start = Clock::now();
  while (Clock::now() - start < 2s) {
    sender.SendTo(local, Numbered(static_cast<int>(sentAt.size())));
    sentAt.push_back(Clock::now());
    std::this_thread::sleep_until(start + sentAt.size() * 1ms);
  }
  ASSERT_EQ(::kill(child, SIGKILL), 0);
  const auto killedAt = Clock::now();
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

  history::HistoryStore store(path, history::HistoryStore::Mode::Existing);
  EXPECT_EQ(store.IntegrityCheck(), "ok");
  std::set<int> kept;
  store.ForEach({}, [&kept](const history::FrameRecord& r) {
    const std::string bytes(r.bytes.begin(), r.bytes.end());
    const auto hash = bytes.find('#');
    if (hash != std::string::npos) kept.insert(std::stoi(bytes.substr(hash + 1)));
  });
  int due = 0, missing = 0;
  for (std::size_t n = 0; n < sentAt.size(); ++n) {
    if (killedAt - sentAt[n] < 1s) continue;
    ++due;
    if (!kept.count(static_cast<int>(n))) ++missing;
  }
  EXPECT_GT(due, 500);
  EXPECT_EQ(missing, 0) << "frames sent more than a second before the kill are all kept; " << kept.size() << " of "
                        << sentAt.size() << " in all";
}

}  // namespace
}  // namespace veltra::test
