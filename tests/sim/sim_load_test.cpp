// The simulator's load mode: the traffic of a busy bus, frame after frame,
// to every module that has an address, in each link's form, with every n-th
// frame broken when asked; sent unasked over UDP to the port given and on
// the pseudo-terminal.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>

#include "../support/loopback_socket.h"
#include "protocol/frame_assembler.h"
#include "protocol/frame_description.h"
#include "sim/load_traffic.h"
#include "sim/simulator_runtime.h"

namespace veltra {
namespace {

TEST(LoadTraffic, RequestsAndRepliesOfEveryModuleInTurn) {
  LoadTraffic traffic(FrameForm::Routed, 7, {1, 3});
  std::vector<std::string> names;
  std::vector<int> addresses;
  for (int i = 0; i < 2 * LoadTraffic::kCycle; ++i) {
    const SimFrame frame = traffic.Next();
    const FrameDescription d = DescribeFrame(frame, FrameForm::Routed);
    ASSERT_TRUE(d.isFrame && d.checksumOk) << i;
    EXPECT_EQ(d.subnet, 7);
    EXPECT_EQ(d.reply, i % 2 == 1) << "a request, then its reply";
    EXPECT_EQ(d.StatusText(), d.reply ? "OK!" : "");
    names.push_back(d.CommandText());
    addresses.push_back(d.address);
  }
  EXPECT_EQ(traffic.Count(), 2u * LoadTraffic::kCycle);
  EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 6),
            (std::vector<std::string>{"ReadStatus", "ReadStatus", "On", "On", "ReadModuleType", "ReadModuleType"}));
  EXPECT_EQ(addresses, (std::vector<int>{1, 1, 1, 1, 1, 1, 3, 3, 3, 3, 3, 3}));

  LoadTraffic broken(FrameForm::Direct, 0, {2}, 4);
  for (int i = 1; i <= 12; ++i) {
    const SimFrame frame = broken.Next();
    const FrameDescription d = DescribeFrame(frame, FrameForm::Direct);
    EXPECT_FALSE(d.subnet);
    EXPECT_EQ(d.checksumOk, i % 4 != 0) << i;
  }
}

TEST(SimulatorLoad, FramesComeUnaskedOverUdpAndOnThePty) {
  test::LoopbackSocket console;
  SimulatorOptions options;
  options.load.rate = 200;
  options.load.udpPort = console.port();
  options.population = {{ModuleKind::Light, 1, false, 8}, {ModuleKind::Light, 2, false, 8}};
  SimulatorRuntime sim(options);

  // Over UDP: the traffic in order, routed, from the bus switch's port.
  LoadTraffic expected(FrameForm::Routed, 1, {1, 2});
  for (int i = 0; i < 20; ++i) {
    sockaddr_in from{};
    const std::vector<std::uint8_t> datagram = console.Receive(2000, &from);
    ASSERT_EQ(datagram, expected.Next()) << "frame " << i;
    EXPECT_EQ(ntohs(from.sin_port), sim.UdpPort());
  }

  // On the serial line: the same traffic, direct, back to back.
  const int fd = ::open(sim.PtySlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  FrameAssembler assembler;
  std::vector<FrameAssembler::Frame> frames;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (frames.size() < 30 && std::chrono::steady_clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    std::uint8_t bytes[512];
    const ssize_t n = ::read(fd, bytes, sizeof bytes);
    if (n <= 0) continue;
    for (auto& f : assembler.Feed(bytes, static_cast<std::size_t>(n), FrameAssembler::Clock::now()))
      frames.push_back(std::move(f));
  }
  ::close(fd);
  ASSERT_GE(frames.size(), 30u);
  // The line may have been opened in the middle of the traffic: find where.
  LoadTraffic serial(FrameForm::Direct, 0, {1, 2});
  SimFrame next = serial.Next();
  for (int i = 0; i < 1000 && next != frames[0]; ++i) next = serial.Next();
  for (std::size_t i = 0; i < 30; ++i) {
    EXPECT_EQ(frames[i], next) << "frame " << i;
    next = serial.Next();
  }
  EXPECT_EQ(assembler.SkippedBytes(), 0u);
  EXPECT_GT(sim.UdpLoadSent(), 0u);
  EXPECT_GT(sim.PtyLoadSent(), 0u);
}

}  // namespace
}  // namespace veltra
