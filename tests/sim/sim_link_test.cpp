// The simulator over real loopback UDP and a real pseudo-terminal: requests
// in, replies out byte for byte, and the fault knobs.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>

#include "../support/catalogue_frames.h"
#include "replies/reply_decoder.h"
#include "sim/serial_frames.h"
#include "sim/simulator_runtime.h"

namespace veltra {
namespace {

// Generous: only a lost reply runs into it.
constexpr int kReplyWaitMs = 3000;

SimFrame Frame(RequestId id, FrameForm form, int module, int output = 1) {
  return test::RequestFrame(id, test::OutputFields(id, module, output), {form, 1});
}

class UdpClient {
 public:
  UdpClient() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
  }
  ~UdpClient() { ::close(fd_); }
  void Send(const SimFrame& frame, int port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    ASSERT_EQ(::sendto(fd_, frame.data(), frame.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
              static_cast<ssize_t>(frame.size()));
  }
  // One datagram, or empty when none comes within timeoutMs.
  SimFrame Receive(int timeoutMs = kReplyWaitMs) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) != 1) return {};
    std::uint8_t bytes[512];
    const ssize_t n = ::recv(fd_, bytes, sizeof bytes, 0);
    return n > 0 ? SimFrame(bytes, bytes + n) : SimFrame{};
  }

 private:
  int fd_ = -1;
};

SimulatorOptions UdpOnly(SimFaults faults = {}) {
  SimulatorOptions options;
  options.pty = false;
  options.faults = faults;
  return options;
}

TEST(SimUdp, RepliesByteExactToEachSender) {
  SimulatorRuntime sim(UdpOnly());
  ASSERT_GT(sim.UdpPort(), 0);
  UdpClient a, b;
  a.Send(Frame(RequestId::LightOn, FrameForm::Routed, 1), sim.UdpPort());
  EXPECT_EQ(a.Receive(), (SimFrame{0x55, 0xAA, 0x0B, 0x00, 0x01, 0x01, 0x82, 0x01, 0x01, 0x54, 0x3A}));

  b.Send(Frame(RequestId::ReadStatus, FrameForm::Routed, 1), sim.UdpPort());
  const SimFrame status = b.Receive();
  const DecodedReply decoded = DecodeRouted(status.data(), status.size(), false);
  EXPECT_EQ(decoded.effect, ReplyEffect::StatusBytes);
  EXPECT_EQ(decoded.statusBits, (std::vector<bool>{true, false, false, false, false, false, false, false}));
  EXPECT_TRUE(a.Receive(100).empty());  // nothing for the other sender
  EXPECT_EQ(sim.Bus().Record()[6] * 256 + sim.Bus().Record()[7], sim.UdpPort());
}

TEST(SimUdp, DelayedRepliesArriveLate) {
  SimulatorRuntime sim(UdpOnly({400, 0, 0}));
  UdpClient client;
  client.Send(Frame(RequestId::ReadVersion, FrameForm::Routed, 1), sim.UdpPort());
  EXPECT_TRUE(client.Receive(100).empty());
  const SimFrame reply = client.Receive();
  EXPECT_EQ(DecodeRouted(reply.data(), reply.size(), false).text, "Light-8 V1.0");
}

TEST(SimUdp, StopDiscardsRepliesStillWaiting) {
  SimulatorRuntime sim(UdpOnly({60000, 0, 0}));
  UdpClient client;
  client.Send(Frame(RequestId::LightOn, FrameForm::Routed, 1, 2), sim.UdpPort());
  // The request is taken at once; only its reply waits.
  for (int i = 0; i < 100 && sim.Bus().Module(1)->outputs[1] == 0; ++i) client.Receive(10);
  EXPECT_EQ(sim.Bus().Module(1)->outputs[1], 1);
  sim.Stop();
  EXPECT_TRUE(client.Receive(100).empty());
}

TEST(SimUdp, EverySecondReplyIsDropped) {
  SimulatorRuntime sim(UdpOnly({0, 2, 0}));
  UdpClient client;
  client.Send(Frame(RequestId::ReadVersion, FrameForm::Routed, 1), sim.UdpPort());
  SimFrame reply = client.Receive();
  EXPECT_EQ(DecodeRouted(reply.data(), reply.size(), false).effect, ReplyEffect::Version);
  // The second reply is dropped: the next thing to arrive is the third.
  client.Send(Frame(RequestId::ReadVersion, FrameForm::Routed, 1), sim.UdpPort());
  client.Send(Frame(RequestId::ReadModuleType, FrameForm::Routed, 1), sim.UdpPort());
  reply = client.Receive();
  EXPECT_EQ(DecodeRouted(reply.data(), reply.size(), false).effect, ReplyEffect::ModuleType);
  // The dropped request still acted: the module was asked, it answered, the
  // answer was lost.
  client.Send(Frame(RequestId::LightOn, FrameForm::Routed, 2, 8), sim.UdpPort());
  EXPECT_TRUE(client.Receive(200).empty());
  EXPECT_EQ(sim.Bus().Module(2)->outputs[7], 1);
}

TEST(SimUdp, GarbageRepliesDecodeToNothing) {
  SimulatorRuntime sim(UdpOnly({0, 0, 1}));
  UdpClient client;
  for (int i = 0; i < 4; ++i) {  // one of each kind
    client.Send(Frame(RequestId::ReadStatus, FrameForm::Routed, 1), sim.UdpPort());
    const SimFrame reply = client.Receive();
    ASSERT_FALSE(reply.empty()) << i;
    EXPECT_FALSE(DecodeRouted(reply.data(), reply.size(), false).logLine.has_value()) << i;
  }
}

TEST(SimUdp, LogsRequestsAndReplies) {
  std::mutex mutex;
  std::vector<std::string> lines;
  SimulatorOptions options = UdpOnly();
  options.log = [&](const std::string& line) {
    std::lock_guard lock(mutex);
    lines.push_back(line);
  };
  SimulatorRuntime sim(options);
  UdpClient client;
  client.Send(Frame(RequestId::LightOn, FrameForm::Routed, 1, 3), sim.UdpPort());
  ASSERT_FALSE(client.Receive().empty());
  sim.Stop();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("routed subnet 1 addr 1 On [02 FF]"), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("On reply OK!"), std::string::npos) << lines[1];
}

class SimPty : public ::testing::Test {
 protected:
  using Clock = std::chrono::steady_clock;

  void SetUp() override {
    SimulatorOptions options;
    options.udp = false;
    options.baud = baud_;
    sim_ = std::make_unique<SimulatorRuntime>(options);
    ASSERT_FALSE(sim_->PtySlavePath().empty());
    fd_ = ::open(sim_->PtySlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd_, 0);
  }
  void TearDown() override {
    if (fd_ >= 0) ::close(fd_);
  }
  void Write(const SimFrame& bytes) {
    ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // Reads until `count` bytes came or nothing more comes in time; the time
  // of each read goes to `reads` if given.
  SimFrame Read(std::size_t count, std::vector<Clock::time_point>* reads = nullptr) {
    SimFrame got;
    while (got.size() < count) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, kReplyWaitMs) != 1) break;
      std::uint8_t bytes[256];
      const ssize_t n = ::read(fd_, bytes, sizeof bytes);
      if (n <= 0) break;
      got.insert(got.end(), bytes, bytes + n);
      if (reads) reads->push_back(Clock::now());
    }
    return got;
  }

  int baud_ = 0;
  std::unique_ptr<SimulatorRuntime> sim_;
  int fd_ = -1;
};

// The line as slow as a serial line at 1200 baud: 8.33 ms a byte.
class SimPtyAt1200 : public SimPty {
 protected:
  SimPtyAt1200() { baud_ = 1200; }
};

TEST_F(SimPtyAt1200, RequestAndReplyTakeTheirTimeOnTheLine) {
  const SimFrame request = Frame(RequestId::LightOn, FrameForm::Direct, 1);  // 10 bytes
  const auto start = Clock::now();
  Write(request);
  std::vector<Clock::time_point> reads;
  EXPECT_EQ(Read(9, &reads), (SimFrame{0x55, 0xAA, 0x09, 0x01, 0x82, 0x01, 0x01, 0x54, 0x27}));
  ASSERT_GE(reads.size(), 2u) << "the reply came in one piece";
  // Its first byte only after the request and that byte have crossed the
  // line; its last after all nineteen bytes.
  const auto byte = std::chrono::microseconds(8333);
  EXPECT_GE(reads.front() - start, 11 * byte);
  EXPECT_GE(reads.back() - start, 19 * byte);
}

TEST_F(SimPty, DirectRequestGetsDirectReplyByteExact) {
  Write(Frame(RequestId::LightOn, FrameForm::Direct, 1));
  EXPECT_EQ(Read(9), (SimFrame{0x55, 0xAA, 0x09, 0x01, 0x82, 0x01, 0x01, 0x54, 0x27}));
  Write(Frame(RequestId::ReadAddress, FrameForm::Direct, 1));
  const SimFrame reply = Read(10);
  const DecodedReply decoded = DecodeDirect(reply.data(), reply.size(), false);
  EXPECT_EQ(decoded.effect, ReplyEffect::ModuleAddress);
  EXPECT_EQ(decoded.moduleAddress, 0);
}

TEST_F(SimPty, LineSurvivesTheConsoleReopeningIt) {
  ::close(fd_);
  fd_ = ::open(sim_->PtySlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(fd_, 0);
  Write(Frame(RequestId::LightOn, FrameForm::Direct, 1));
  EXPECT_EQ(Read(9).size(), 9u);
}

TEST_F(SimPty, RoutedRequestInMonitorModeGetsRoutedReply) {
  Write(Frame(RequestId::ReadModuleType, FrameForm::Routed, 3));
  const SimFrame reply = Read(13);
  ASSERT_EQ(reply.size(), 13u);
  const DecodedReply decoded = DecodeRouted(reply.data(), reply.size(), false);
  EXPECT_EQ(decoded.effect, ReplyEffect::ModuleType);
  EXPECT_EQ(decoded.text, "0104");
}

TEST_F(SimPty, FramesAreFoundAcrossWritesAndBackToBack) {
  SimFrame both = Frame(RequestId::LightOn, FrameForm::Direct, 2, 1);
  const SimFrame second = Frame(RequestId::LightOn, FrameForm::Direct, 2, 2);
  both.insert(both.end(), second.begin(), second.end());
  Write(SimFrame(both.begin(), both.begin() + 4));
  Write(SimFrame(both.begin() + 4, both.end()));
  EXPECT_EQ(Read(18).size(), 18u);  // two 9-byte replies
  const auto module = sim_->Bus().Module(2);
  EXPECT_EQ(module->outputs[0], 1);
  EXPECT_EQ(module->outputs[1], 1);
}

TEST_F(SimPty, NoiseBeforeAFrameIsSkipped) {
  SimFrame bytes{0x00, 0x55, 0x13, 0xFF};
  const SimFrame on = Frame(RequestId::LightOn, FrameForm::Direct, 1, 4);
  bytes.insert(bytes.end(), on.begin(), on.end());
  Write(bytes);
  EXPECT_EQ(Read(9).size(), 9u);
  EXPECT_EQ(sim_->Bus().Module(1)->outputs[3], 1);
}

TEST(SerialFrameSplitterTest, ResyncsAfterABrokenFrame) {
  SerialFrameSplitter splitter;
  const SimFrame good = Frame(RequestId::LightOn, FrameForm::Direct, 1);
  SimFrame broken = good;
  broken[8] ^= 0xFF;
  // A broken frame, then a good one: the bad checksum is skipped byte by byte.
  SimFrame stream = broken;
  stream.insert(stream.end(), good.begin(), good.end());
  auto frames = splitter.Feed(stream.data(), stream.size());
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], good);
  EXPECT_EQ(splitter.Skipped(), broken.size());

  // A header whose Length promises more than ever comes: after the quiet gap
  // the frame behind it is still found.
  SimFrame stalled{0x55, 0xAA, 0x40, 0x01};
  stalled.insert(stalled.end(), good.begin(), good.end());
  EXPECT_TRUE(splitter.Feed(stalled.data(), stalled.size()).empty());
  EXPECT_TRUE(splitter.Pending());
  frames = splitter.Resync();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], good);
  EXPECT_FALSE(splitter.Pending());
}

}  // namespace
}  // namespace veltra

namespace veltra {
namespace {

// A bound input pressed: its request goes out on both links, in each link's
// form, and the bus carries it out.
TEST(SimInputPress, TheBoundRequestGoesOutOnBothLinksAndIsCarriedOut) {
  SimulatorOptions options;
  SimulatorRuntime sim(options);
  UdpClient console;
  // "Toggle Light" on module 1 output 3 for input 2 of module 5.
  console.Send(test::RequestFrame(RequestId::BindInput,
                                  {{"ADDR", 5}, {"INPUT", 2}, {"--function", 3}, {"--target", 1}, {"--output", 3}},
                                  {FrameForm::Routed, 1}),
               sim.UdpPort());
  ASSERT_FALSE(console.Receive().empty());
  const int serial = ::open(sim.PtySlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(serial, 0);

  sim.PressInput(5, 2);
  // Over UDP routed, to the host that asked last: subnet 1, module 1, light
  // "Toggle", output 3 (from 0), filler, checksum.
  const SimFrame routed = console.Receive();
  ASSERT_EQ(routed.size(), 12u);
  EXPECT_EQ(SimFrame(routed.begin(), routed.begin() + 10),
            (SimFrame{0x55, 0xAA, 0x0C, 0x00, 0x01, 0x01, 0x02, 0x03, 0x02, 0xFF}));
  // On the serial line direct.
  pollfd p{serial, POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, kReplyWaitMs), 1);
  std::uint8_t bytes[64];
  const ssize_t n = ::read(serial, bytes, sizeof bytes);
  ::close(serial);
  ASSERT_EQ(n, 10);
  EXPECT_EQ(SimFrame(bytes, bytes + 8), (SimFrame{0x55, 0xAA, 0x0A, 0x01, 0x02, 0x03, 0x02, 0xFF}));
  EXPECT_EQ(sim.Bus().Module(1)->outputs[2], 1) << "toggled on once, not once per link";
  sim.PressInput(5, 2);
  EXPECT_EQ(sim.Bus().Module(1)->outputs[2], 0);

  EXPECT_THROW(sim.PressInput(5, 1), std::invalid_argument) << "input 1 is not bound";
  EXPECT_THROW(sim.PressInput(1, 1), std::invalid_argument) << "no input module at 1";
}

}  // namespace
}  // namespace veltra
