// The links on loopback sockets and pseudo-terminals: what goes out, what
// comes back, what the tap sees, and how failures and a lost line are told.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "../serial/pty_fixture.h"
#include "../support/loopback_socket.h"
#include "link/serial_link.h"
#include "link/udp_link.h"
#include "serial/notification_queue.h"

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
  const std::optional<ReceivedUnit> unit = link.Receive(1000);
  ASSERT_TRUE(unit.has_value());
  EXPECT_EQ(unit->bytes, reply);
  EXPECT_EQ(unit->from.address, "127.0.0.1") << "the sender, for matching replies";
  EXPECT_EQ(unit->from.port, peer.port());
  ASSERT_TRUE(link.LastDestination().has_value());
  EXPECT_EQ(link.LastDestination()->port, peer.port());
  EXPECT_EQ(link.ReplyForm(FrameForm::Direct), FrameForm::Routed) << "the bus switch answers routed";
  EXPECT_GE(link.ReadableHandle(), 0);
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

TEST(UdpLink, ALinkNotOpenedSendsNothing) {
  UdpLink link;
  link.Client().Host = "127.0.0.1";
  link.Client().Port = 9;
  EXPECT_EQ(link.Transmit(kFrame), TransmitStatus::NotOpen);
  EXPECT_FALSE(link.Client().Active()) << "no socket made behind the operator's back";
  EXPECT_EQ(link.ReadableHandle(), -1);
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
  link.Client().SetActive(true);
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

  // A status reply from module 0x11 with a 0x13 in it: both are data.
  Bytes reply{0x55, 0xAA, 0x0C, 0x11, 0x80, 0x08, 0x01, 0x01, 0x13, 0x00};
  reply.resize(12);
  CompleteFrame(reply.data());
  ASSERT_TRUE(pty.Send(reply));
  const std::optional<ReceivedUnit> got = link.Receive(2000);
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(got->bytes, reply) << "one whole frame, however the reader cut it";
  EXPECT_EQ(link.ReplyForm(FrameForm::Routed), FrameForm::Routed) << "a serial line answers in the request's form";
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
  EXPECT_EQ(link.Receive(2000)->bytes, reply);

  // The start of a frame that never ends, then silence: nothing is handed out,
  // and a whole frame after the silence still is.
  ASSERT_TRUE(pty.Send({0x55, 0xAA, 0x0A, 0x05}));
  EXPECT_FALSE(link.Receive(250).has_value());
  ASSERT_TRUE(pty.Send(reply));
  EXPECT_EQ(link.Receive(2000)->bytes, reply);
  EXPECT_GE(link.SkippedBytes(), 5u);
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

}  // namespace
}  // namespace veltra
