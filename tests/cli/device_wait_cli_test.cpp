// veltra-cli and a serial adapter that comes and goes: "monitor" on a
// pseudo-terminal behind a symlink in a scratch folder outlives the
// symlink's removal and opens again by itself when it is back (another
// pseudo-terminal behind it); --wait-for-device waits for a device that is
// not there yet, and gives up after its time. The program runs as a child:
// the adapter is pulled under it.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "../serial/pty_fixture.h"
#include "../support/child_program.h"
#include "cli/cli_app.h"
#include "protocol/frame.h"

namespace veltra::test {
namespace {

using namespace std::chrono_literals;

// A module type reply of module `address`, direct, with its checksum.
std::vector<std::uint8_t> TypeReply(std::uint8_t address) {
  std::vector<std::uint8_t> frame{0x55, 0xAA, 0x0B, address, 0x80, 0x06, 0x01, 0x01, 0x2A};
  const std::uint16_t sum = FrameChecksum(frame.data(), 11);
  frame.push_back(static_cast<std::uint8_t>(sum >> 8));
  frame.push_back(static_cast<std::uint8_t>(sum & 0xFF));
  return frame;
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

template <typename Done>
bool WaitFor(Done done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

class CliDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(scratch.ok());
    std::filesystem::create_directory(scratch / "by-id");
  }
  // Sends a frame from the far end until monitor has printed `lines` lines.
  bool HeardLines(ChildProgram& monitor, std::size_t lines, std::uint8_t address) {
    return WaitFor(
        [&] {
          if (Count(monitor.OutSoFar(), "\n") >= lines) return true;
          adapter.pty().Send(TypeReply(address));
          std::this_thread::sleep_for(50ms);
          return Count(monitor.OutSoFar(), "\n") >= lines;
        },
        10s);
  }

  ScratchFolder scratch;
  PluggablePty adapter{scratch / "by-id/usb-Veltra_Test_Adapter-if00-port0"};
};

TEST_F(CliDevice, MonitorWaitsForAPulledAdapterAndGoesOnWhenItIsBack) {
  ASSERT_TRUE(adapter.Plug());
  ChildProgram monitor(VELTRA_CLI_PROGRAM, {"--serial", adapter.link(), "--baud", "19200", "monitor"});
  ASSERT_TRUE(monitor.Started());
  ASSERT_TRUE(HeardLines(monitor, 1, 3)) << monitor.ErrSoFar();
  EXPECT_NE(monitor.OutSoFar().find("3 -> master  ReadModuleType reply"), std::string::npos) << monitor.OutSoFar();

  const std::string waiting = "Serial device disconnected: " + adapter.link() + ": waiting for it to return";
  const std::string back = "Serial device reconnected: " + adapter.link();
  for (int cycle = 0; cycle < 2; ++cycle) {
    adapter.Pull();
    ASSERT_TRUE(WaitFor([&] { return Count(monitor.ErrSoFar(), waiting) == std::size_t(cycle + 1); }, 5s))
        << monitor.ErrSoFar();
    ASSERT_TRUE(adapter.Plug());
    const auto plugged = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitFor([&] { return Count(monitor.ErrSoFar(), back) == std::size_t(cycle + 1); }, 5s))
        << monitor.ErrSoFar();
    EXPECT_LT(std::chrono::steady_clock::now() - plugged, 1s) << "open again within a second";
    // Frames on the new pseudo-terminal are heard again.
    ASSERT_TRUE(HeardLines(monitor, std::size_t(cycle + 2), static_cast<std::uint8_t>(cycle + 4)))
        << monitor.ErrSoFar();
  }
  monitor.Signal(SIGINT);
  const ProgramRun run = monitor.Wait(5s);
  EXPECT_EQ(run.status, 130) << run.err;
  EXPECT_EQ(Count(run.err, waiting), 2u) << run.err;
  EXPECT_EQ(Count(run.err, back), 2u) << run.err;
  EXPECT_NE(run.out.find("5 -> master  ReadModuleType reply"), std::string::npos) << run.out;
}

TEST_F(CliDevice, WaitForDeviceWaitsForTheAdapterBeforeItStarts) {
  ChildProgram monitor(VELTRA_CLI_PROGRAM, {"--serial", adapter.link(), "--wait-for-device", "10", "monitor"});
  ASSERT_TRUE(monitor.Started());
  std::this_thread::sleep_for(400ms);
  ASSERT_TRUE(adapter.Plug());
  ASSERT_TRUE(HeardLines(monitor, 1, 6)) << monitor.ErrSoFar();
  monitor.Signal(SIGTERM);
  const ProgramRun run = monitor.Wait(5s);
  EXPECT_EQ(run.status, 143) << run.err;
  EXPECT_EQ(run.err, "") << "no failure to open: it waited";

  // A request waits the same way, and its reply is read.
  adapter.Pull();
  ChildProgram request(VELTRA_CLI_PROGRAM,
                       {"--serial", adapter.link(), "--wait-for-device", "10", "read-type", "6"});
  ASSERT_TRUE(request.Started());
  std::this_thread::sleep_for(300ms);
  ASSERT_TRUE(adapter.Plug());
  ASSERT_EQ(adapter.pty().Receive(8, 5s).size(), 8u);
  ASSERT_TRUE(adapter.pty().Send(TypeReply(6)));
  const ProgramRun answered = request.Wait(5s);
  EXPECT_EQ(answered.status, cli::kExitOk) << answered.err;
}

TEST_F(CliDevice, WaitForDeviceGivesUpAfterItsTime) {
  const auto started = std::chrono::steady_clock::now();
  ChildProgram request(VELTRA_CLI_PROGRAM,
                       {"--serial", adapter.link(), "--wait-for-device", "0.3", "read-type", "6"});
  ASSERT_TRUE(request.Started());
  const ProgramRun run = request.Wait(10s);
  const auto took = std::chrono::steady_clock::now() - started;
  EXPECT_EQ(run.status, cli::kExitLinkError) << run.err;
  EXPECT_NE(run.err.find(adapter.link()), std::string::npos) << run.err;
  EXPECT_GE(took, 300ms);
  EXPECT_LT(took, 5s);

  // Not an option of the UDP link.
  ChildProgram udp(VELTRA_CLI_PROGRAM, {"--udp", "127.0.0.1", "--wait-for-device", "1", "read-type", "6"});
  ASSERT_TRUE(udp.Started());
  EXPECT_EQ(udp.Wait(10s).status, cli::kExitUsage);
}

}  // namespace
}  // namespace veltra::test
