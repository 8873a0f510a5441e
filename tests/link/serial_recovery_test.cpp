// A serial link that recovers, driven by its own Receive (as veltra-cli
// drives it): an adapter behind a symlink pulled and plugged back, the
// stable name behind a device path, requests during the outage, "Close"
// while it waits, and 50 cycles without growth in descriptors or threads.
#include <gtest/gtest.h>
#include <termios.h>

#include <filesystem>

#include "../serial/pty_fixture.h"
#include "../serial/replug_cycles.h"
#include "link/serial_link.h"

namespace veltra {
namespace {

using namespace std::chrono_literals;
using test::DriveUntil;
using test::PluggablePty;
using test::ScratchFolder;

class SerialRecovery : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(scratch.ok());
    std::filesystem::create_directory(scratch / "by-id");
    ASSERT_TRUE(adapter.Plug());
    link.onHangup = [this] { ++hangups; };
    link.onReconnected = [this] { ++reconnects; };
    link.SetFraming(FrameForm::Direct);
    veltra::SerialRecovery recovery;
    recovery.enabled = true;
    recovery.stableFolder = scratch / "by-id";
    link.SetRecovery(recovery);
  }
  void OpenBy(const std::string& path) {
    SerialSettings settings;
    settings.device = path;
    settings.baudRate = 19200;
    settings.stopBits = TStopBits::_2;
    link.Configure(settings);
    link.Open();
  }

  ScratchFolder scratch;
  PluggablePty adapter{scratch / "by-id/usb-Veltra_Test_Adapter-if00-port0"};
  SerialLink link;
  int hangups = 0;
  int reconnects = 0;
};

TEST_F(SerialRecovery, APulledAdapterTakesTheLinkDownAndComesBackWithTheSameSettings) {
  OpenBy(adapter.link());
  EXPECT_EQ(link.ReopenPath(), adapter.link());
  ASSERT_EQ(link.Transmit(test::ReplugFrame(1)), TransmitStatus::Sent);
  EXPECT_EQ(adapter.pty().Receive(11), test::ReplugFrame(1));

  adapter.Pull();
  ASSERT_TRUE(DriveUntil(link, [&] { return link.Down(); }, 5s));
  EXPECT_EQ(hangups, 1);
  EXPECT_FALSE(link.IsOpen());
  EXPECT_TRUE(link.HungUp());
  // During the outage a request is not sent, and nothing keeps it.
  EXPECT_EQ(link.Transmit(test::ReplugFrame(2)), TransmitStatus::NotOpen);
  EXPECT_FALSE(link.Receive(100).has_value());
  EXPECT_TRUE(link.Down()) << "nothing there to open";

  ASSERT_TRUE(adapter.Plug());
  const auto plugged = std::chrono::steady_clock::now();
  ASSERT_TRUE(DriveUntil(link, [&] { return !link.Down(); }, 5s));
  EXPECT_LT(std::chrono::steady_clock::now() - plugged, 1s) << "open again within a second";
  EXPECT_EQ(reconnects, 1);
  EXPECT_TRUE(link.IsOpen());
  EXPECT_FALSE(link.HungUp());
  EXPECT_EQ(link.Port().CommName(), adapter.link());
  termios line{};
  ASSERT_EQ(tcgetattr(adapter.pty().slave(), &line), 0);
  EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B19200)) << "the same line settings";
  EXPECT_TRUE(line.c_cflag & CSTOPB);

  // The request refused during the outage is not sent now either.
  EXPECT_TRUE(adapter.pty().Receive(1, 200ms).empty());
  ASSERT_EQ(link.Transmit(test::ReplugFrame(3)), TransmitStatus::Sent);
  EXPECT_EQ(adapter.pty().Receive(11), test::ReplugFrame(3));
  ASSERT_TRUE(adapter.pty().Send(test::ReplugFrame(4)));
  const auto unit = link.Receive(3000);
  ASSERT_TRUE(unit.has_value());
  EXPECT_EQ(unit->bytes, test::ReplugFrame(4));
}

// Pulled and plugged back before the link has looked: the watcher saw the
// symlink go, so the pseudo-terminal behind it now is a new device.
TEST_F(SerialRecovery, APullAndPlugFasterThanTheLinkLooksIsStillSeen) {
  OpenBy(adapter.link());
  adapter.Pull();
  ASSERT_TRUE(adapter.Plug());
  ASSERT_TRUE(DriveUntil(link, [&] { return reconnects == 1; }, 5s));
  EXPECT_EQ(hangups, 1);
  EXPECT_TRUE(link.IsOpen());
  ASSERT_EQ(link.Transmit(test::ReplugFrame(5)), TransmitStatus::Sent);
  EXPECT_EQ(adapter.pty().Receive(11), test::ReplugFrame(5));
}

// Picked as its device path (/dev/ttyUSB0 on a real system), the adapter is
// watched through its stable name and opened again by it, wherever that
// leads now.
TEST_F(SerialRecovery, OpenedByItsDevicePathTheAdapterComesBackByItsStableName) {
  OpenBy(adapter.device());
  EXPECT_EQ(link.OpenedBy(), adapter.device());
  EXPECT_EQ(link.ReopenPath(), adapter.link());
  adapter.Pull();
  ASSERT_TRUE(DriveUntil(link, [&] { return link.Down(); }, 5s));
  ASSERT_TRUE(adapter.Plug());
  ASSERT_TRUE(DriveUntil(link, [&] { return !link.Down(); }, 5s));
  EXPECT_EQ(link.Port().CommName(), adapter.link());
  ASSERT_EQ(link.Transmit(test::ReplugFrame(6)), TransmitStatus::Sent);
  EXPECT_EQ(adapter.pty().Receive(11), test::ReplugFrame(6));
}

TEST_F(SerialRecovery, CloseEndsTheWait) {
  OpenBy(adapter.link());
  adapter.Pull();
  ASSERT_TRUE(DriveUntil(link, [&] { return link.Down(); }, 5s));
  link.Close();
  EXPECT_FALSE(link.Down());
  EXPECT_FALSE(link.IsOpen());
  EXPECT_EQ(link.ReopenPath(), "");
  ASSERT_TRUE(adapter.Plug());
  EXPECT_FALSE(link.Receive(300).has_value());
  EXPECT_FALSE(link.IsOpen()) << "closed stays closed";
  EXPECT_EQ(reconnects, 0);
}

TEST_F(SerialRecovery, WithoutRecoveryAHungUpLinkStaysOpenAndDead) {
  link.SetRecovery({});
  OpenBy(adapter.link());
  adapter.Pull();
  ASSERT_TRUE(DriveUntil(link, [&] { return link.HungUp(); }, 5s));
  EXPECT_TRUE(link.IsOpen());
  EXPECT_FALSE(link.Down());
  ASSERT_TRUE(adapter.Plug());
  EXPECT_FALSE(link.Receive(300).has_value());
  EXPECT_EQ(reconnects, 0);
}

// Endurance: every cycle's threads and descriptors are given back (the
// benchmark runs 1,000 of them and prints the figures).
TEST_F(SerialRecovery, FiftyPullAndPlugCyclesLeaveNothingBehind) {
  OpenBy(adapter.link());
  const test::ReplugFigures figures = test::RunReplugCycles(link, adapter, 50, 3);
  ASSERT_EQ(figures.failure, "");
  EXPECT_EQ(figures.cycles, 50);
  EXPECT_EQ(figures.after.fds, figures.before.fds);
  EXPECT_EQ(figures.after.threads, figures.before.threads);
  // Generous: the allocator keeps what it likes; a leak per cycle of even a
  // thread's stack would pass it by far.
  EXPECT_LT(figures.after.residentKb - figures.before.residentKb, 4096);
  EXPECT_EQ(reconnects, 53);
  for (const double ms : figures.reopenMs) EXPECT_LT(ms, 1000.0);
}

}  // namespace
}  // namespace veltra
