// Watching for a serial device: the decision when a link that went down
// tries again (without files), the watcher on scratch folders with a
// pseudo-terminal behind a symlink, and waiting for a device to appear.
#include "link/device_watch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "../serial/pty_fixture.h"
#include "link/stop_signal.h"

namespace veltra {
namespace {

using namespace std::chrono_literals;
using Kind = DeviceEvent::Kind;
using Clock = ReopenDecision::Clock;

// ---------------------------------------------------------------- the decision

class Decision : public ::testing::Test {
 protected:
  ReopenDecision decision{"/dev/serial/by-id/usb-X-if00", ReopenDecision::Timing{200ms, 200ms, 1000ms}};
  const Clock::time_point t0 = Clock::now();
  void SetUp() override { decision.Opened("/dev/ttyUSB0"); }
};

TEST_F(Decision, ADeviceSeenToGoIsTriedAtOnceWhenItIsBack) {
  EXPECT_FALSE(decision.TryNow(true, t0)) << "never while up";
  decision.Take({Kind::Vanished, "/dev/serial/by-id/usb-X-if00"});
  decision.WentDown(t0);
  EXPECT_TRUE(decision.SeenGone());
  EXPECT_FALSE(decision.TryNow(false, t0)) << "not there yet";
  EXPECT_TRUE(decision.TryNow(true, t0 + 1ms));
}

TEST_F(Decision, WhatCountsAsGone) {
  decision.WentDown(t0);
  // Other entries, and something appearing, say nothing of this device.
  for (const DeviceEvent& other : {DeviceEvent{Kind::Vanished, "/dev/serial/by-id/usb-Y-if00"},
                                   DeviceEvent{Kind::Vanished, "/dev/ttyUSB1"},
                                   DeviceEvent{Kind::Vanished, "/dev/serial/by-id/usb-X-if0"},
                                   DeviceEvent{Kind::Appeared, "/dev/serial/by-id/usb-X-if00"}})
    decision.Take(other);
  EXPECT_FALSE(decision.SeenGone());
  EXPECT_FALSE(decision.TryNow(true, t0 + 500ms)) << "present all along, and not a second yet";

  for (const DeviceEvent& gone : {DeviceEvent{Kind::Vanished, "/dev/ttyUSB0"},        // the device behind
                                  DeviceEvent{Kind::Vanished, "/dev/serial/by-id"},   // a folder on the way
                                  DeviceEvent{Kind::Vanished, "/dev/serial"},
                                  DeviceEvent{Kind::Lost, ""}}) {                     // events dropped
    decision.Opened("/dev/ttyUSB0");
    decision.WentDown(t0);
    decision.Take(gone);
    EXPECT_TRUE(decision.SeenGone()) << gone.path;
  }
  // Looked at and missing is gone too.
  decision.Opened("/dev/ttyUSB0");
  decision.WentDown(t0);
  EXPECT_FALSE(decision.TryNow(false, t0));
  EXPECT_TRUE(decision.SeenGone());
}

// A line that hung up while its device stayed is not opened again and again
// at once: a second after the hang-up, then after each failure's pause.
TEST_F(Decision, AStayingDeviceIsTriedAfterASecondAndAFailedTryAfterAPause) {
  decision.WentDown(t0);
  EXPECT_FALSE(decision.TryNow(true, t0));
  EXPECT_FALSE(decision.TryNow(true, t0 + 999ms));
  EXPECT_TRUE(decision.TryNow(true, t0 + 1000ms));
  decision.Failed(t0 + 1000ms);
  EXPECT_FALSE(decision.TryNow(true, t0 + 1199ms));
  EXPECT_TRUE(decision.TryNow(true, t0 + 1200ms));
  EXPECT_EQ(decision.NextLook(t0), t0 + 200ms);

  // Opened again: everything seen before is forgotten.
  decision.Take({Kind::Vanished, "/dev/ttyUSB0"});
  decision.Opened("/dev/ttyUSB1");
  EXPECT_FALSE(decision.SeenGone());
  EXPECT_FALSE(decision.Down());
  decision.WentDown(t0);
  decision.Take({Kind::Vanished, "/dev/ttyUSB0"});
  EXPECT_FALSE(decision.SeenGone()) << "the device it led to before";
  decision.Take({Kind::Vanished, "/dev/ttyUSB1"});
  EXPECT_TRUE(decision.SeenGone());
}

// ---------------------------------------------------------------- the watcher

bool Has(const std::vector<DeviceEvent>& events, Kind kind, const std::string& path) {
  return std::any_of(events.begin(), events.end(), [&](const DeviceEvent& e) { return e.kind == kind && e.path == path; });
}

// Events come when they happen; a short wait covers a loaded machine.
std::vector<DeviceEvent> TakeSoon(DeviceWatcher& watcher) {
  std::vector<DeviceEvent> events;
  for (int i = 0; i < 50 && events.empty(); ++i) {
    events = watcher.Take();
    if (events.empty()) std::this_thread::sleep_for(10ms);
  }
  return events;
}

TEST(DeviceWatcher, SeesTheSymlinkAndTheDeviceBehindItGoAndCome) {
  test::ScratchFolder scratch;
  ASSERT_TRUE(scratch.ok());
  test::PluggablePty adapter(scratch / "ttyBUS");
  ASSERT_TRUE(adapter.Plug());
  const std::string first = adapter.device();
  DeviceWatcher watcher(adapter.link());
  ASSERT_GE(watcher.Handle(), 0);
  watcher.Follow(DeviceBehind(adapter.link()));
  EXPECT_EQ(watcher.Folders(), (std::vector<std::string>{"/dev/pts", scratch.path()}));
  EXPECT_TRUE(watcher.Take().empty());

  adapter.Pull();
  std::vector<DeviceEvent> events = TakeSoon(watcher);
  std::this_thread::sleep_for(20ms);
  for (const DeviceEvent& more : watcher.Take()) events.push_back(more);
  EXPECT_TRUE(Has(events, Kind::Vanished, adapter.link()));
  EXPECT_TRUE(Has(events, Kind::Vanished, first)) << "the pseudo-terminal's node goes with its last descriptor";

  ASSERT_TRUE(adapter.Plug());
  events = TakeSoon(watcher);
  EXPECT_TRUE(Has(events, Kind::Appeared, adapter.link()));
  EXPECT_TRUE(LeadsToDevice(adapter.link()));
  EXPECT_TRUE(IsSymlink(adapter.link()));
  EXPECT_FALSE(IsSymlink(adapter.device()));
  EXPECT_EQ(DeviceBehind(adapter.link()), adapter.device());
}

// /dev/serial/by-id goes with the last adapter and comes with the next: the
// watch moves up to a folder that is there and back down as folders come.
TEST(DeviceWatcher, FollowsFoldersThatComeAndGo) {
  test::ScratchFolder scratch;
  ASSERT_TRUE(scratch.ok());
  const std::string byId = scratch / "serial/by-id";
  DeviceWatcher watcher(byId + "/usb-X-if00");
  EXPECT_EQ(watcher.Folders(), std::vector<std::string>{scratch.path()});

  std::filesystem::create_directories(byId);
  TakeSoon(watcher);  // the folder that came moves the watch down to the one that is there
  EXPECT_EQ(watcher.Folders(), std::vector<std::string>{byId});

  test::Pty pty;
  ASSERT_TRUE(pty.ok());
  std::filesystem::create_symlink(pty.path(), byId + "/usb-X-if00");
  EXPECT_TRUE(Has(TakeSoon(watcher), Kind::Appeared, byId + "/usb-X-if00"));
  EXPECT_FALSE(LeadsToDevice(byId + "/usb-Y-if00"));
  EXPECT_TRUE(LeadsToDevice(byId + "/usb-X-if00"));

  std::filesystem::remove_all(scratch / "serial");
  std::vector<DeviceEvent> events = TakeSoon(watcher);
  for (int i = 0; i < 5; ++i) {
    std::this_thread::sleep_for(10ms);
    for (const DeviceEvent& more : watcher.Take()) events.push_back(more);
  }
  EXPECT_TRUE(Has(events, Kind::Vanished, byId + "/usb-X-if00"));
  EXPECT_TRUE(Has(events, Kind::Vanished, byId));
  EXPECT_EQ(watcher.Folders(), std::vector<std::string>{scratch.path()});
}

TEST(DeviceWatcher, PathsAreMadeAbsoluteWithTheirSymlinksKept) {
  EXPECT_EQ(AbsolutePath("/dev/serial/by-id/../by-id/x/"), "/dev/serial/by-id/x");
  EXPECT_EQ(AbsolutePath("ttyBUS"), (std::filesystem::current_path() / "ttyBUS").string());
  EXPECT_EQ(AbsolutePath(""), "");
}

// ---------------------------------------------------------------- waiting for a device

TEST(WaitForDevice, ReturnsWhenTheDeviceComesOrTheTimeOrTheStop) {
  test::ScratchFolder scratch;
  ASSERT_TRUE(scratch.ok());
  test::PluggablePty adapter(scratch / "later/ttyBUS");
  EXPECT_FALSE(WaitForDevice(adapter.link(), 100ms, nullptr));

  std::thread plug([&] {
    std::this_thread::sleep_for(150ms);
    std::filesystem::create_directory(scratch / "later");
    adapter.Plug();
  });
  const auto start = Clock::now();
  EXPECT_TRUE(WaitForDevice(adapter.link(), 10s, nullptr));
  EXPECT_LT(Clock::now() - start, 5s);
  plug.join();

  adapter.Pull();
  StopSignal stop;
  std::thread raise([&] {
    std::this_thread::sleep_for(100ms);
    stop.Raise(2);
  });
  const auto stopped = Clock::now();
  EXPECT_FALSE(WaitForDevice(adapter.link(), 10s, &stop));
  EXPECT_LT(Clock::now() - stopped, 5s);
  raise.join();
}

}  // namespace
}  // namespace veltra
