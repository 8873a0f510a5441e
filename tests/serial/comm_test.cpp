// TComm against pseudo-terminals: open, configure, errors, the reader's
// bursts, the writer's order and empty notices, hang-up and close.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "pty_fixture.h"
#include "serial/comm.h"
#include "serial/notification_queue.h"
#include "serial/tty_ioctl.h"

namespace veltra {
namespace {

using namespace std::chrono_literals;
using test::Pattern;
using test::Pty;

class CommTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.ok());
    comm.SetCommName(pty.path());
    comm.OnReceiveData = [this](TComm& sender, const std::uint8_t* buffer, std::uint16_t length) {
      EXPECT_EQ(&sender, &comm);
      EXPECT_EQ(buffer[length], 0) << "block must end in a zero byte";
      chunks.emplace_back(buffer, buffer + length);
    };
    comm.OnSendDataEmpty = [this](TComm&) { ++empties; };
    comm.OnRequestHangup = [this](TComm&) { ++hangups; };
  }

  // Delivers notifications until the condition holds; false after 3 s.
  bool PumpUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + 3s;
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      queue->WaitForPending(20ms);
      queue->DeliverPending(comm);
    }
    return true;
  }

  std::size_t ReceivedBytes() const {
    std::size_t n = 0;
    for (const auto& c : chunks) n += c.size();
    return n;
  }
  std::vector<std::uint8_t> AllReceived() const {
    std::vector<std::uint8_t> all;
    for (const auto& c : chunks) all.insert(all.end(), c.begin(), c.end());
    return all;
  }
  termios SlaveSettings() const {
    termios t{};
    EXPECT_EQ(tcgetattr(pty.slave(), &t), 0);
    return t;
  }
  speed_t SlaveSpeed() const {
    const termios t = SlaveSettings();
    return cfgetospeed(&t);
  }
  // Stops the component's output the way a device does, with XOFF on its
  // input; the marker after it shows that the line discipline took the XOFF.
  void HoldOutput() {
    const std::size_t before = ReceivedBytes();
    ASSERT_TRUE(pty.Send({0x13, 0x4D}));
    ASSERT_TRUE(PumpUntil([&] { return ReceivedBytes() > before; }));
  }
  void OpenAndSettle() {
    comm.OpenPort();
    ASSERT_TRUE(PumpUntil([this] { return empties == 1; }));
  }

  Pty pty;
  std::shared_ptr<CommNotificationQueue> queue = std::make_shared<CommNotificationQueue>();
  TComm comm{queue};
  std::vector<std::vector<std::uint8_t>> chunks;
  int empties = 0;
  int hangups = 0;
};

// --- open, configure, close ---------------------------------------------

TEST_F(CommTest, OpenSetsRawLineAndCloseRestoresTheDevice) {
  const termios before = SlaveSettings();
  ASSERT_TRUE(before.c_lflag & ICANON);  // a fresh pty is cooked

  OpenAndSettle();
  EXPECT_TRUE(comm.IsOpen());
  termios t = SlaveSettings();
  EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));
  EXPECT_FALSE(t.c_oflag & OPOST);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_FALSE(t.c_cflag & (PARENB | CSTOPB | CRTSCTS));
  EXPECT_TRUE(t.c_iflag & IXON);
  EXPECT_TRUE(t.c_iflag & IXOFF);
  EXPECT_FALSE(t.c_iflag & (ICRNL | INPCK));
  EXPECT_EQ(t.c_cc[VSTART], 0x11);
  EXPECT_EQ(t.c_cc[VSTOP], 0x13);
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));

  comm.ClosePort();
  EXPECT_FALSE(comm.IsOpen());
  t = SlaveSettings();
  EXPECT_EQ(t.c_lflag, before.c_lflag);
  EXPECT_EQ(t.c_iflag, before.c_iflag);
  EXPECT_EQ(t.c_cflag, before.c_cflag);
  comm.ClosePort();  // closed: nothing happens
  EXPECT_FALSE(comm.IsOpen());
}

TEST_F(CommTest, LinePropertiesReachAnOpenPortAtOnceExceptParity) {
  OpenAndSettle();
  comm.SetBaudRate(19200);
  EXPECT_EQ(SlaveSpeed(), static_cast<speed_t>(B19200));

  // Rates without a termios constant are set exactly.
  for (std::uint32_t rate : {14400u, 56000u, 128000u}) {
    comm.SetBaudRate(rate);
    std::uint32_t actual = 0;
    ASSERT_TRUE(ReadBaudRate(pty.slave(), actual));
    EXPECT_EQ(actual, rate);
  }

  // Writing the value already held does not reconfigure: a change made to
  // the device behind the component's back survives it.
  comm.SetBaudRate(9600);
  termios t = SlaveSettings();
  cfsetospeed(&t, B4800);
  cfsetispeed(&t, B4800);
  ASSERT_EQ(tcsetattr(pty.slave(), TCSANOW, &t), 0);
  comm.SetBaudRate(9600);
  EXPECT_EQ(SlaveSpeed(), static_cast<speed_t>(B4800));
  comm.SetBaudRate(2400);
  EXPECT_EQ(SlaveSpeed(), static_cast<speed_t>(B2400));

  // A pty forces CS8 and clears PARENB on every change, but it keeps PARODD
  // and CMSPAR: those show which parity reached the device.
  // Parity alone is only stored...
  comm.SetParity(TParity::Odd);
  EXPECT_EQ(comm.Parity(), TParity::Odd);
  EXPECT_FALSE(SlaveSettings().c_cflag & PARODD);
  // ...and rides along with the next change of another line property.
  comm.SetStopBits(TStopBits::_2);
  t = SlaveSettings();
  EXPECT_TRUE(t.c_cflag & CSTOPB);
  EXPECT_TRUE(t.c_cflag & PARODD);
  EXPECT_FALSE(t.c_cflag & CMSPAR);

  comm.SetOutx_XonXoffFlow(false);
  EXPECT_FALSE(SlaveSettings().c_iflag & IXON);
  comm.SetXonChar(0x01);
  EXPECT_EQ(SlaveSettings().c_cc[VSTART], 0x01);
  comm.SetParityCheck(true);
  comm.SetReplaceWhenParityError(true);
  EXPECT_TRUE(SlaveSettings().c_iflag & INPCK);

  // A changed parity is used by the next open.
  comm.ClosePort();
  comm.SetParity(TParity::Space);
  comm.OpenPort();
  ASSERT_TRUE(PumpUntil([this] { return empties == 2; }));
  t = SlaveSettings();
  EXPECT_TRUE(t.c_cflag & CMSPAR);
  EXPECT_FALSE(t.c_cflag & PARODD);
  EXPECT_TRUE(t.c_cflag & CSTOPB);
}

TEST_F(CommTest, ReopenAfterCloseUsesTheCurrentSettingsAndWorks) {
  OpenAndSettle();
  comm.ClosePort();
  comm.SetBaudRate(115200);
  comm.OpenPort();
  ASSERT_TRUE(PumpUntil([this] { return empties == 2; }));
  EXPECT_EQ(SlaveSpeed(), static_cast<speed_t>(B115200));
  const auto data = Pattern(10);
  ASSERT_TRUE(pty.Send(data));
  ASSERT_TRUE(PumpUntil([this] { return ReceivedBytes() == 10; }));
  EXPECT_EQ(AllReceived(), data);
}

// --- open errors ------------------------------------------------------------

// Opens and expects the exact message; the component stays closed.
void ExpectOpenFails(TComm& comm, const std::string& message) {
  try {
    comm.OpenPort();
    ADD_FAILURE() << "OpenPort succeeded on " << comm.CommName();
  } catch (const ECommsError& e) {
    EXPECT_EQ(std::string(e.what()), message);
    EXPECT_EQ(std::string(e.what()).find(':'), std::string::npos) << "no detail in the message";
  }
  EXPECT_FALSE(comm.IsOpen());
}

TEST_F(CommTest, OpenFailuresRaiseTheFixedMessagesAndLeaveNothingBehind) {
  const int fdsBefore = test::OpenFdCount();

  comm.SetCommName("/dev/veltra-no-such-device");
  ExpectOpenFails(comm, "Error opening serial port");
  comm.SetCommName("");
  ExpectOpenFails(comm, "Error opening serial port");

  char file[] = "/tmp/veltra-serial-XXXXXX";
  const int fd = mkstemp(file);
  ASSERT_GE(fd, 0);
  close(fd);
  comm.SetCommName(file);
  ExpectOpenFails(comm, "File handle is not a comm handle ");
  unlink(file);
  comm.SetCommName("/dev/null");
  ExpectOpenFails(comm, "File handle is not a comm handle ");

  EXPECT_EQ(test::OpenFdCount(), fdsBefore);
  EXPECT_TRUE(queue->PendingCount() == 0);

  // After the failures the component opens as a fresh one would.
  comm.SetCommName(pty.path());
  OpenAndSettle();
  EXPECT_TRUE(comm.IsOpen());
}

TEST_F(CommTest, ErrorDetailIsKeptApartFromTheMessage) {
  comm.SetCommName("/dev/veltra-no-such-device");
  try {
    comm.OpenPort();
    FAIL();
  } catch (const ECommsError& e) {
    EXPECT_STREQ(e.what(), "Error opening serial port");
    EXPECT_NE(e.detail().find("/dev/veltra-no-such-device"), std::string::npos);
  }
}

TEST_F(CommTest, AlreadyOpenLeavesThePortRunning) {
  OpenAndSettle();
  EXPECT_THROW(
      {
        try {
          comm.OpenPort();
        } catch (const ECommsError& e) {
          EXPECT_STREQ(e.what(), "This serial port already opened");
          throw;
        }
      },
      ECommsError);
  EXPECT_TRUE(comm.IsOpen());
  const auto data = Pattern(5);
  ASSERT_TRUE(pty.Send(data));
  ASSERT_TRUE(PumpUntil([this] { return ReceivedBytes() == 5; }));
  EXPECT_EQ(AllReceived(), data);
}

TEST_F(CommTest, AnotherComponentCannotOpenAPortInUse) {
  OpenAndSettle();
  const int fdsBefore = test::OpenFdCount();
  auto otherQueue = std::make_shared<CommNotificationQueue>();
  TComm other{otherQueue};
  other.SetCommName(pty.path());
  ExpectOpenFails(other, "Error opening serial port");
  EXPECT_EQ(test::OpenFdCount(), fdsBefore);

  comm.ClosePort();
  other.OpenPort();  // free again
  EXPECT_TRUE(other.IsOpen());
  other.ClosePort();
}

TEST_F(CommTest, WriteDataRefusesWhenClosedOrEmpty) {
  const std::uint8_t byte = 0x55;
  EXPECT_FALSE(comm.WriteData(&byte, 1));
  OpenAndSettle();
  EXPECT_FALSE(comm.WriteData(&byte, 0));
  comm.ClosePort();
  EXPECT_FALSE(comm.WriteData(&byte, 1));
}

// --- reader: bursts -----------------------------------------------------

TEST_F(CommTest, AFrameWithoutPauseArrivesInOneCall) {
  OpenAndSettle();
  const auto frame = Pattern(14);
  ASSERT_TRUE(pty.Send(frame));
  ASSERT_TRUE(PumpUntil([this] { return ReceivedBytes() >= 14; }));
  ASSERT_EQ(chunks.size(), 1u);
  EXPECT_EQ(chunks[0], frame);
}

TEST_F(CommTest, FramesLessThanTheIntervalApartArriveTogether) {
  OpenAndSettle();
  const auto first = Pattern(9, 1);
  const auto second = Pattern(11, 2);
  ASSERT_TRUE(pty.Send(first));
  std::this_thread::sleep_for(10ms);
  ASSERT_TRUE(pty.Send(second));
  ASSERT_TRUE(PumpUntil([this] { return ReceivedBytes() >= 20; }));
  ASSERT_EQ(chunks.size(), 1u);
  auto both = first;
  both.insert(both.end(), second.begin(), second.end());
  EXPECT_EQ(chunks[0], both);
}

TEST_F(CommTest, APauseLongerThanTheIntervalSplitsAFrame) {
  OpenAndSettle();
  const auto head = Pattern(6, 3);
  const auto tail = Pattern(7, 4);
  ASSERT_TRUE(pty.Send(head));
  std::this_thread::sleep_for(300ms);
  ASSERT_TRUE(pty.Send(tail));
  ASSERT_TRUE(PumpUntil([this] { return ReceivedBytes() >= 13; }));
  ASSERT_EQ(chunks.size(), 2u);
  EXPECT_EQ(chunks[0], head);
  EXPECT_EQ(chunks[1], tail);
}

TEST_F(CommTest, TheIntervalRunsFromTheLastByteNotFromTheStartOfTheRead) {
  OpenAndSettle();
  // A byte every 60 ms for 400 ms: no pause reaches the 100 ms interval,
  // although the whole burst lasts four times as long.
  const auto bytes = Pattern(7, 6);
  const auto start = std::chrono::steady_clock::now();
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::this_thread::sleep_until(start + i * 60ms);
    ASSERT_TRUE(pty.Send({bytes[i]}));
  }
  ASSERT_TRUE(PumpUntil([this, &bytes] { return ReceivedBytes() >= bytes.size(); }));
  ASSERT_EQ(chunks.size(), 1u) << "the burst was cut while bytes kept coming";
  EXPECT_EQ(chunks[0], bytes);
}

TEST_F(CommTest, ALongStreamArrivesInBlocksOfAtMost2048InOrder) {
  OpenAndSettle();
  const auto stream = Pattern(3000, 5);
  ASSERT_TRUE(pty.Send(stream));
  ASSERT_TRUE(PumpUntil([this] { return ReceivedBytes() >= 3000; }));
  EXPECT_GE(chunks.size(), 2u);
  for (const auto& c : chunks) EXPECT_LE(c.size(), 2048u);
  EXPECT_EQ(AllReceived(), stream);
}

TEST_F(CommTest, TimeoutsReachAnOpenPortAndEmptyReadsAreRestarted) {
  OpenAndSettle();
  // A longer interval, set while open, keeps a 200 ms pause inside a burst.
  comm.SetReadIntervalTimeout(500);
  const auto head = Pattern(4, 16);
  const auto tail = Pattern(4, 17);
  ASSERT_TRUE(pty.Send(head));
  std::this_thread::sleep_for(200ms);
  ASSERT_TRUE(pty.Send(tail));
  ASSERT_TRUE(PumpUntil([this] { return ReceivedBytes() >= 8; }));
  ASSERT_EQ(chunks.size(), 1u);

  // A total read time-out lets idle reads complete empty; each is started
  // again and the reader keeps going.
  comm.SetReadIntervalTimeout(100);
  comm.SetReadTotalTimeoutConstant(20);
  std::this_thread::sleep_for(150ms);
  const auto later = Pattern(6, 18);
  ASSERT_TRUE(pty.Send(later));
  ASSERT_TRUE(PumpUntil([this] { return ReceivedBytes() >= 14; }));
  const auto all = AllReceived();
  EXPECT_EQ(std::vector<std::uint8_t>(all.end() - 6, all.end()), later);
  EXPECT_EQ(hangups, 0);
}

TEST_F(CommTest, IgnoreNullCharDropsZeroBytes) {
  comm.SetIgnoreNullChar(true);
  OpenAndSettle();
  ASSERT_TRUE(pty.Send({0x01, 0x00, 0x02, 0x00, 0x00, 0x03}));
  ASSERT_TRUE(PumpUntil([this] { return ReceivedBytes() >= 3; }));
  EXPECT_EQ(AllReceived(), (std::vector<std::uint8_t>{0x01, 0x02, 0x03}));
}

// --- writer ---------------------------------------------------------------

TEST_F(CommTest, WritesGoOutCompleteAndInCallOrder) {
  OpenAndSettle();
  const auto first = Pattern(300, 6);
  const auto second = Pattern(200, 7);
  ASSERT_TRUE(comm.WriteData(first.data(), static_cast<std::uint16_t>(first.size())));
  ASSERT_TRUE(comm.WriteData(second.data(), static_cast<std::uint16_t>(second.size())));
  auto expected = first;
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(pty.Receive(expected.size()), expected);
  EXPECT_TRUE(PumpUntil([this] { return empties >= 2; }));
}

TEST_F(CommTest, TheWritersCopyIsIndependentOfTheCallersBuffer) {
  OpenAndSettle();
  std::vector<std::uint8_t> buffer = Pattern(40, 8);
  const auto sent = buffer;
  ASSERT_TRUE(comm.WriteData(buffer.data(), 40));
  std::fill(buffer.begin(), buffer.end(), 0xEE);  // reused at once
  EXPECT_EQ(pty.Receive(40), sent);
}

TEST_F(CommTest, SendDataEmptyOnceAfterOpenAndOncePerDrainedRun) {
  OpenAndSettle();
  EXPECT_EQ(empties, 1);  // nothing written yet
  std::this_thread::sleep_for(50ms);
  queue->DeliverPending(comm);
  EXPECT_EQ(empties, 1);

  // Hold the output so both requests are queued before either is written.
  HoldOutput();
  const auto first = Pattern(20, 9);
  const auto second = Pattern(30, 10);
  ASSERT_TRUE(comm.WriteData(first.data(), 20));
  ASSERT_TRUE(comm.WriteData(second.data(), 30));
  EXPECT_TRUE(pty.Receive(1, 100ms).empty()) << "output should be held by XOFF";
  ASSERT_TRUE(pty.Send({0x11}));  // XON
  auto expected = first;
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(pty.Receive(expected.size()), expected);
  ASSERT_TRUE(PumpUntil([this] { return empties == 2; }));
  std::this_thread::sleep_for(50ms);
  queue->DeliverPending(comm);
  EXPECT_EQ(empties, 2);
  EXPECT_EQ(hangups, 0);
}

TEST_F(CommTest, ClosingWhileAWriteIsHeldByXoffDropsItQuietly) {
  OpenAndSettle();
  HoldOutput();
  const auto data = Pattern(100, 11);
  ASSERT_TRUE(comm.WriteData(data.data(), 100));
  ASSERT_TRUE(comm.WriteData(data.data(), 100));
  comm.ClosePort();  // must not hang on the held write
  EXPECT_FALSE(comm.IsOpen());
  queue->DeliverPending(comm);
  EXPECT_EQ(hangups, 0);
  EXPECT_EQ(empties, 1);
  EXPECT_TRUE(pty.Receive(1, 100ms).empty());
}

// --- hang-up and close ------------------------------------------------------

TEST_F(CommTest, ALostDeviceRequestsHangupAndThePortCanBeClosedAndReopened) {
  OpenAndSettle();
  pty.CloseMaster();
  ASSERT_TRUE(PumpUntil([this] { return hangups >= 1; }));  // the reader
  EXPECT_TRUE(comm.IsOpen());  // the owner decides when to close

  // The writer finds out on its next write and ends too; from then on
  // requests are refused.
  const std::uint8_t byte = 0x42;
  comm.WriteData(&byte, 1);
  ASSERT_TRUE(PumpUntil([this] { return hangups >= 2; }));
  EXPECT_FALSE(comm.WriteData(&byte, 1));

  comm.ClosePort();
  EXPECT_FALSE(comm.IsOpen());

  Pty next;
  ASSERT_TRUE(next.ok());
  comm.SetCommName(next.path());
  comm.OpenPort();
  ASSERT_TRUE(PumpUntil([this] { return empties == 2; }));
  const auto data = Pattern(8, 12);
  ASSERT_TRUE(next.Send(data));
  ASSERT_TRUE(PumpUntil([this] { return ReceivedBytes() >= 8; }));
  EXPECT_EQ(AllReceived(), data);
  EXPECT_EQ(hangups, 2);
}

// A hang-up is the port's own: once the port is closed it is not raised,
// and nothing the closed port posted reaches the port opened after it (an
// adapter that came back must not be taken down by its old self's report).
TEST_F(CommTest, WhatAClosedPortPostedStaysWithIt) {
  auto pendingAtLeast = [this](std::size_t n) {
    const auto end = std::chrono::steady_clock::now() + 3s;
    while (queue->PendingCount() < n && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(5ms);
    return queue->PendingCount() >= n;
  };
  OpenAndSettle();
  ASSERT_TRUE(pty.Send(Pattern(8, 21)));
  ASSERT_TRUE(pendingAtLeast(1));  // the bytes, posted and not delivered
  pty.CloseMaster();
  ASSERT_TRUE(pendingAtLeast(2));  // and the hang-up behind them
  comm.ClosePort();

  Pty next;
  ASSERT_TRUE(next.ok());
  comm.SetCommName(next.path());
  comm.OpenPort();
  ASSERT_TRUE(PumpUntil([this] { return empties == 2; }));  // the new writer's notice is delivered
  EXPECT_EQ(hangups, 0);
  EXPECT_TRUE(chunks.empty()) << "bytes of the old port after the new one opened";

  const auto data = Pattern(8, 22);
  ASSERT_TRUE(next.Send(data));
  ASSERT_TRUE(PumpUntil([this] { return ReceivedBytes() >= 8; }));
  EXPECT_EQ(AllReceived(), data);

  // Closed without a new opening: its own late hang-up is not raised either.
  next.CloseMaster();
  ASSERT_TRUE(pendingAtLeast(1));
  comm.ClosePort();
  queue->DeliverPending(comm);
  EXPECT_EQ(hangups, 0);
}

TEST_F(CommTest, ClosingAnIdlePortPostsNothing) {
  OpenAndSettle();
  comm.ClosePort();
  EXPECT_EQ(queue->DeliverPending(comm), 0u);
}

TEST_F(CommTest, DataPostedBeforeCloseIsDeliveredAfterIt) {
  OpenAndSettle();
  const auto data = Pattern(16, 13);
  ASSERT_TRUE(pty.Send(data));
  ASSERT_TRUE(queue->WaitForPending(3s));  // posted, not yet delivered
  comm.ClosePort();
  EXPECT_TRUE(chunks.empty());
  EXPECT_EQ(queue->DeliverPending(comm), 1u);
  EXPECT_EQ(AllReceived(), data);
}

TEST_F(CommTest, WithoutAReceiveHandlerBlocksAreStillConsumed) {
  comm.OnReceiveData = nullptr;
  OpenAndSettle();
  ASSERT_TRUE(pty.Send(Pattern(32, 14)));
  ASSERT_TRUE(queue->WaitForPending(3s));
  EXPECT_EQ(queue->DeliverPending(comm), 1u);

  std::vector<std::uint8_t> seen;
  comm.OnReceiveData = [&seen](TComm&, const std::uint8_t* b, std::uint16_t n) {
    seen.assign(b, b + n);
  };
  const auto later = Pattern(5, 15);
  ASSERT_TRUE(pty.Send(later));
  ASSERT_TRUE(PumpUntil([&seen] { return !seen.empty(); }));
  EXPECT_EQ(seen, later);
}

TEST(CommNotification, EventsGetTheirParametersAndMissingHandlersAreSkipped) {
  auto queue = std::make_shared<CommNotificationQueue>();
  TComm comm{queue};
  std::vector<std::string> log;
  comm.OnReceiveError = [&](TComm&, std::uint32_t mask) { log.push_back("error " + std::to_string(mask)); };
  comm.OnModemStateChange = [&](TComm&, std::uint32_t bits) {
    log.push_back("modem " + std::to_string(bits));
  };
  comm.OnRequestHangup = [&](TComm&) { log.push_back("hangup"); };
  auto post = [&](CommNotify n, std::uint32_t second) {
    CommMessage m;
    m.number = n;
    m.second = second;
    EXPECT_TRUE(queue->Post(std::move(m)));
  };
  post(CommNotify::ReceiveError, kLineErrorFrame | kLineErrorParity);
  post(CommNotify::ModemStateChange, kModemCarrierDetect | kModemRing);
  post(CommNotify::SendDataEmpty, 0);  // no handler: skipped
  post(CommNotify::RequestHangup, 0);
  EXPECT_EQ(queue->DeliverPending(comm), 4u);
  EXPECT_EQ(log, (std::vector<std::string>{"error 12", "modem 12", "hangup"}));
}

}  // namespace
}  // namespace veltra
