// The links on loopback sockets and pseudo-terminals: what goes out, what
// comes back, what the tap sees, and how failures and a lost line are told.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "../serial/pty_fixture.h"
#include "../support/loopback_socket.h"
#include "link/request_session.h"
#include "link/serial_link.h"
#include "link/udp_link.h"
#include "serial/notification_queue.h"
#include "protocol/module_commands.h"

namespace veltra {
namespace {

using test::LoopbackSocket;
using namespace std::chrono_literals;

struct RecordingTap : FrameTap {
  struct Seen {
    FrameDirection direction;
    Bytes bytes;
    LinkEndpoint local, remote;
  };
  std::vector<Seen> frames;
  void OnFrame(const FrameTrace& frame) override {
    frames.push_back({frame.direction, Bytes(frame.bytes.begin(), frame.bytes.end()), frame.local, frame.remote});
  }
};

const Bytes kFrame{0x55, 0xAA, 0x0A, 0x01, 0x02, 0x01, 0x00, 0xFF, 0x57, 0xA6};

TEST(UdpLink, SendsOneDatagramReceivesFromAnySenderAndTapsBothWays) {
  LoopbackSocket peer;
  UdpLink link;
  RecordingTap tap;
  link.SetTap(&tap);
  link.Open("127.0.0.1", peer.port(), 0);
  ASSERT_TRUE(link.IsOpen());
  EXPECT_EQ(link.Transmit(kFrame), TransmitStatus::Sent);
  sockaddr_in from{};
  EXPECT_EQ(peer.Receive(1000, &from), kFrame);

  const Bytes reply{0x55, 0xAA, 0x01};
  peer.SendTo(from, reply);
  EXPECT_EQ(link.Receive(1000), reply);
  EXPECT_FALSE(link.Receive(20).has_value());

  ASSERT_EQ(tap.frames.size(), 2u);
  EXPECT_EQ(tap.frames[0].direction, FrameDirection::Sent);
  EXPECT_EQ(tap.frames[0].bytes, kFrame);
  EXPECT_EQ(tap.frames[0].remote.address, "127.0.0.1");
  EXPECT_EQ(tap.frames[0].remote.port, peer.port());
  EXPECT_EQ(tap.frames[0].local.port, ntohs(from.sin_port));
  EXPECT_EQ(tap.frames[1].direction, FrameDirection::Received);
  EXPECT_EQ(tap.frames[1].remote.port, peer.port());
}

TEST(UdpLink, DiscardPendingDropsLateDatagramsWithoutWaiting) {
  LoopbackSocket peer;
  UdpLink link;
  link.Open("127.0.0.1", peer.port(), 0);
  ASSERT_EQ(link.Transmit(kFrame), TransmitStatus::Sent);
  sockaddr_in from{};
  ASSERT_FALSE(peer.Receive(1000, &from).empty());
  peer.SendTo(from, {1, 2, 3});
  peer.SendTo(from, {4, 5});
  std::this_thread::sleep_for(20ms);
  const auto start = std::chrono::steady_clock::now();
  link.DiscardPending();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms);
  EXPECT_FALSE(link.Receive(0).has_value());
}

TEST(UdpLink, FailuresCarryTheSystemsReason) {
  LoopbackSocket holder;
  UdpLink link;
  try {
    link.Open("127.0.0.1", 2001, holder.port());
    FAIL() << "bound a taken port";
  } catch (const LinkError& error) {
    EXPECT_STREQ(error.what(), "Could not bind socket. Address and port are already in use.");
    EXPECT_EQ(error.code(), EADDRINUSE);
    EXPECT_EQ(error.reason(), std::strerror(EADDRINUSE));
  }
  EXPECT_FALSE(link.IsOpen());

  link.Client().Host = "";  // a send with no host names none
  try {
    link.Transmit(kFrame);
    FAIL() << "sent without a host";
  } catch (const LinkError& error) {
    EXPECT_EQ(error.reason(), "Host name is empty");
  }
}

class SerialLinkTest : public ::testing::Test {
 protected:
  test::Pty pty;
  SerialLink link;
  void SetUp() override {
    ASSERT_TRUE(pty.ok());
    SerialSettings settings;
    settings.device = pty.path();
    settings.baudRate = 19200;
    settings.parity = TParity::Even;
    link.Configure(settings);
  }
};

TEST_F(SerialLinkTest, ClosedLinkSendsNothingAndSaysSo) {
  RecordingTap tap;
  link.SetTap(&tap);
  EXPECT_EQ(link.Transmit(kFrame), TransmitStatus::NotOpen);
  EXPECT_TRUE(tap.frames.empty());
  EXPECT_FALSE(link.Receive(10).has_value());
}

TEST_F(SerialLinkTest, WritesTheFrameAndReceivesWhatTheLineDeliversByItself) {
  RecordingTap tap;
  link.SetTap(&tap);
  link.Open();
  EXPECT_EQ(link.Port().BaudRate(), 19200u);
  EXPECT_EQ(link.Port().Parity(), TParity::Even);
  EXPECT_FALSE(link.Port().Inx_XonXoffFlow()) << "0x11 and 0x13 are data on the bus";
  ASSERT_EQ(link.Transmit(kFrame), TransmitStatus::Sent);
  EXPECT_EQ(pty.Receive(kFrame.size()), kFrame);

  const Bytes reply{0x55, 0xAA, 0x11, 0x13};
  ASSERT_TRUE(pty.Send(reply));
  std::optional<Bytes> got = link.Receive(2000);
  ASSERT_TRUE(got.has_value());
  while (got->size() < reply.size()) {  // the reader may deliver it in parts
    const auto more = link.Receive(2000);
    ASSERT_TRUE(more.has_value());
    got->insert(got->end(), more->begin(), more->end());
  }
  EXPECT_EQ(*got, reply);
  ASSERT_GE(tap.frames.size(), 2u);
  EXPECT_EQ(tap.frames[0].direction, FrameDirection::Sent);
  EXPECT_EQ(tap.frames[0].local.address, pty.path());
  EXPECT_EQ(tap.frames.back().direction, FrameDirection::Received);
}

TEST_F(SerialLinkTest, ALostLineIsReportedAsAHangUp) {
  int hangups = 0;
  link.onHangup = [&] { ++hangups; };
  link.Open();
  pty.CloseMaster();
  EXPECT_FALSE(link.Receive(1000).has_value());
  EXPECT_TRUE(link.HungUp());
  EXPECT_GE(hangups, 1);
  EXPECT_TRUE(link.IsOpen()) << "the owner decides when to close";
}

TEST_F(SerialLinkTest, FramedLinkHandsOutWholeFramesAndGivesUpABrokenOneAfterSilence) {
  link.SetFraming(FrameForm::Direct);
  link.Open();
  // A direct ReadAddress reply split in two writes, behind a stray byte.
  const Bytes reply{0x55, 0xAA, 0x0A, 0x05, 0x80, 0x05, 0x01, 0x03, 0x54, 0x3D};
  ASSERT_TRUE(pty.Send({0x00, 0x55, 0xAA, 0x0A}));
  std::this_thread::sleep_for(30ms);
  ASSERT_TRUE(pty.Send({reply.begin() + 3, reply.end()}));
  EXPECT_EQ(link.Receive(2000), reply);

  // The start of a frame that never ends, then silence: nothing is handed out,
  // and a whole frame after the silence still is.
  ASSERT_TRUE(pty.Send({0x55, 0xAA, 0x0A, 0x05}));
  EXPECT_FALSE(link.Receive(250).has_value());
  ASSERT_TRUE(pty.Send(reply));
  EXPECT_EQ(link.Receive(2000), reply);
}

TEST(SerialLinkFlush, WaitsForEveryQueuedFrameEvenWhenTheWritersStartReportComesLate) {
  // The writer reports its empty queue once when it starts. Delivered only
  // after frames were queued, that report must not count as their end, or a
  // tool closes the line with its request still unwritten.
  test::Pty pty;
  ASSERT_TRUE(pty.ok());
  auto queue = std::make_shared<CommNotificationQueue>();
  auto comm = std::make_unique<TComm>(queue);
  TComm& port = *comm;
  SerialLink link(std::move(comm), [&](int ms) {
    if (queue->WaitForPending(std::chrono::milliseconds(ms))) queue->DeliverPending(port);
  });
  SerialSettings settings;
  settings.device = pty.path();
  link.Configure(settings);
  link.Open();
  ASSERT_TRUE(queue->WaitForPending(2s)) << "the writer's start report";

  // Far more than the pseudo-terminal holds while nobody reads its far end.
  const Bytes block(0xFFFF, 0x5A);
  constexpr int kBlocks = 16;
  for (int i = 0; i < kBlocks; ++i) ASSERT_EQ(link.Transmit(block), TransmitStatus::Sent);
  EXPECT_FALSE(link.Flush(200)) << "the line has not taken the frames yet";

  std::size_t received = 0;
  std::thread farEnd([&] { received = pty.Receive(block.size() * kBlocks, 20s).size(); });
  EXPECT_TRUE(link.Flush(20000));
  farEnd.join();
  EXPECT_EQ(received, block.size() * kBlocks);
  link.Close();
}

TEST(SerialLinkOpen, AMissingDeviceIsALinkErrorWithTheSystemsReason) {
  SerialLink link;
  link.Port().SetCommName("/nonexistent/veltra-tty");
  try {
    link.Open();
    FAIL() << "opened a missing device";
  } catch (const LinkError& error) {
    EXPECT_STREQ(error.what(), kErrOpening);
    EXPECT_FALSE(error.reason().empty());
  }
}

// A far end on loopback that answers each request after a given script.
TEST(RequestSession, TakesTheFirstValidFrameSkipsGarbageAndDropsLateReplies) {
  LoopbackSocket peer;
  UdpLink link;
  link.Open("127.0.0.1", peer.port(), 0);
  RequestSession session(link, FrameForm::Routed, 300);
  std::vector<std::string> lines;
  session.onLogLine = [&](const std::string& line) { lines.push_back(line); };
  session.masked = false;

  TransmitBuffer buffer{};
  BuildModuleCommand(buffer, ModuleCommand::ReadModuleType, {FrameForm::Routed, 1}, 1);
  // Before the request: a late reply to something earlier is waiting.
  const Bytes typeReply{0x55, 0xAA, 0x0D, 0x00, 0x01, 0x01, 0x80, 0x06, 0x01, 0x02, 0x08};
  Bytes valid = typeReply;
  const unsigned check = [&] {
    unsigned sum = 0;
    for (auto b : valid) sum += b;
    return (sum ^ 0x55AA) & 0xFFFF;
  }();
  valid.push_back(static_cast<std::uint8_t>(check >> 8));
  valid.push_back(static_cast<std::uint8_t>(check & 0xFF));
  ASSERT_EQ(link.Transmit(kFrame), TransmitStatus::Sent);
  sockaddr_in from{};
  ASSERT_FALSE(peer.Receive(1000, &from).empty());
  Bytes stale = valid;
  stale[10] = 0x09;
  stale[12] = static_cast<std::uint8_t>(stale[12] + 1);
  peer.SendTo(from, stale);
  std::this_thread::sleep_for(20ms);

  std::thread far([&] {
    if (peer.Receive(1000).empty()) return;
    peer.SendTo(from, {0x00, 0x55, 0xAA});  // not a frame
    peer.SendTo(from, valid);
  });
  const Exchange exchange = session.Request(buffer);
  far.join();
  EXPECT_EQ(exchange.outcome, SendOutcome::Replied);
  ASSERT_TRUE(exchange.reply.has_value());
  EXPECT_EQ(*exchange.reply, valid);
  EXPECT_EQ(exchange.status, 1);
  EXPECT_EQ(exchange.decoded.effect, ReplyEffect::ModuleType);
  EXPECT_EQ(exchange.decoded.text, "0208");
  EXPECT_GT(exchange.roundTripMs, 0.0);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind(kSendPrefix, 0), 0u);
  EXPECT_NE(lines[1].find("OK!"), std::string::npos);

  // Nobody answers: no reply after the time-out.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(session.Request(buffer).outcome, SendOutcome::NoReply);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 290ms);
}

}  // namespace
}  // namespace veltra
