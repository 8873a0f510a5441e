#pragma once
// The serial link: bus frames on a serial line through the serial-port
// component and its reader and writer threads. Qt-free.
//
// The line carries frames back to back; the link cuts what the reader
// delivers into frames (FrameAssembler), and each frame is one received
// unit. Noise and broken frames are skipped; the tap still sees the line's
// bytes as they came.
//
// The threads' notifications reach the link on its owner's thread in one of
// two ways: drained by Receive itself (the default; tools and tests), or
// delivered by the component's own sink, e.g. an event loop
// (event_loop_serial_link.h), which then also runs the silence expiry of an
// incomplete frame and hears of every new frame through the ready handler.
//
// With recovery on, a line that hangs up (the adapter pulled) takes the link
// down instead of leaving it open and dead: the port is closed, requests are
// not sent, and the link watches the path it opens by (device_watch.h). When
// the device is back there, the link opens again by itself with the same line
// settings. Nothing is queued or sent again meanwhile.
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "link/device_watch.h"
#include "link/link.h"
#include "protocol/frame_assembler.h"
#include "serial/comm.h"

namespace veltra {

class CommNotificationQueue;

// Line settings of one open; the defaults are 9600 8N1.
struct SerialSettings {
  std::string device;
  std::uint32_t baudRate = 9600;
  TByteSize byteSize = TByteSize::_8;
  TParity parity = TParity::None;
  TStopBits stopBits = TStopBits::_1;
};

// What a link does when its line hangs up.
struct SerialRecovery {
  // Off: the link stays open and hung up until its owner closes it.
  bool enabled = false;
  // Where a stable name is looked for when the link is opened by a device
  // path such as /dev/ttyUSB0: a symlink there that leads to the same device
  // is what the link watches and opens again by.
  std::string stableFolder = "/dev/serial/by-id";
  ReopenDecision::Timing timing;
};

class SerialLink final : public Link {
 public:
  // Waits up to the given milliseconds for notifications to be delivered.
  using DeliveryWait = std::function<void(int timeoutMs)>;
  // Asks for ExpireFrames to be called at the given time (empty: not needed).
  using ExpiryScheduler = std::function<void(std::optional<std::chrono::steady_clock::time_point>)>;
  // Asks for CheckDevice to be called whenever `handle` is readable (-1:
  // none) and at `lookAt` (empty: not needed).
  using DeviceScheduler =
      std::function<void(int handle, std::optional<std::chrono::steady_clock::time_point> lookAt)>;

  // Notifications drained on the calling thread by Receive.
  SerialLink();
  // Notifications delivered by comm's own sink; waitForDelivery lets them in
  // while Receive waits (empty: Receive takes only what has arrived), and
  // scheduleExpiry keeps the silence expiry running between calls.
  SerialLink(std::unique_ptr<TComm> comm, DeliveryWait waitForDelivery, ExpiryScheduler scheduleExpiry = {});
  ~SerialLink() override;
  SerialLink(const SerialLink&) = delete;
  SerialLink& operator=(const SerialLink&) = delete;

  // The component, for its line properties.
  TComm& Port() { return *comm_; }
  const TComm& Port() const { return *comm_; }
  void Configure(const SerialSettings& settings);
  // Opens Port().CommName() with the component's settings. Throws LinkError
  // with the component's message and the system's reason.
  void Open();
  // Stops the threads and closes the device; never throws. Writes still
  // queued are dropped: Flush first to keep them. A link that is down stops
  // waiting for its device.
  void Close();

  // Recovery after a hang-up; takes effect at the next Open.
  void SetRecovery(SerialRecovery recovery) { recovery_ = std::move(recovery); }
  // The line hung up and the link waits for its device to come back: the
  // port is closed (IsOpen() is false) and requests are not sent.
  bool Down() const { return down_; }
  // What the link was opened by (the component's CommName at Open).
  const std::string& OpenedBy() const { return openedBy_; }
  // The path the link watches and opens again by: a symlink it was opened
  // by, the stable name behind the device it was opened by, or else that
  // device's path. Empty without recovery.
  const std::string& ReopenPath() const { return reopenPath_; }
  // Takes what the watcher saw; while down, opens again when the device is
  // back. Event loops call it when the scheduler's handle is readable or its
  // time has come; Receive does it by itself while it waits.
  void CheckDevice();
  void SetDeviceScheduler(DeviceScheduler scheduler) { scheduleDevice_ = std::move(scheduler); }
  // The link opened again by itself (Down() is false again).
  std::function<void()> onReconnected;
  // Waits up to timeoutMs until the writer has put every queued frame on the
  // line. False when some are still queued.
  bool Flush(int timeoutMs);

  bool IsOpen() const override { return comm_->IsOpen(); }
  // Receive (and Flush) end their waits when the stop is raised.
  void WatchStop(StopSignal* stop) override;
  TransmitStatus Transmit(std::span<const std::uint8_t> frame) override;
  std::optional<ReceivedUnit> Receive(int timeoutMs) override;
  void DiscardPending() override;
  LinkEndpoint Peer() const override { return Local(); }
  // The component's rate and bits per character.
  LineTiming Timing() const override;

  // Time-out of Receive(-1).
  int ReceiveTimeout = 500;
  // Frames are looked for in this form's Length range (direct at start,
  // which takes routed frames too), and the reader hands bytes over as they
  // come rather than after a pause on the line.
  void SetFraming(FrameForm form);
  // Gives up an incomplete frame once the line has been silent long enough
  // and delivers the frames found behind it; the event loop's timer calls it.
  void ExpireFrames();
  // Bytes skipped so far because they started no frame.
  std::size_t SkippedBytes() const { return assembler_.SkippedBytes(); }
  // The last bytes skipped since the last call (at most 64), in line order:
  // what came instead of a frame.
  std::vector<std::uint8_t> TakeSkippedBytes() { return assembler_.TakeSkipped(); }
  // The reader or writer has failed (the line hung up). Without recovery the
  // link stays open until closed; with it the link is down by then.
  std::function<void()> onHangup;
  // Line errors (overrun, parity, framing, break) as the component's mask.
  std::function<void(std::uint32_t mask)> onLineError;
  // Whether a hang-up was reported since the last Open.
  bool HungUp() const { return hungUp_; }

 private:
  void Wire();
  void HandleChunk(const std::uint8_t* bytes, std::uint16_t length);
  void Deliver(const std::uint8_t* bytes, std::size_t length);
  void DeliverAll(const std::vector<FrameAssembler::Frame>& frames);
  // Tells the observer of the noise skipped since `skippedBefore` and of the
  // frames among it whose checksum did not hold.
  void ReportSkipped(std::size_t skippedBefore);
  void ScheduleExpiry();
  LinkEndpoint Local() const { return {comm_->CommName(), 0}; }
  void HandleHangup();
  void ArmRecovery();
  void Reopen(std::chrono::steady_clock::time_point now);
  void ScheduleDevice();
  // Blocks up to timeoutMs for the watcher or the stop (Receive while down).
  void AwaitDevice(int timeoutMs);

  std::shared_ptr<CommNotificationQueue> queue_;  // set when Receive drains by hand
  std::unique_ptr<TComm> comm_;
  DeliveryWait waitForDelivery_;
  ExpiryScheduler scheduleExpiry_;
  std::deque<ReceivedUnit> inbox_;
  FrameAssembler assembler_{FrameForm::Direct};
  bool hungUp_ = false;
  int stopWatch_ = 0;  // StopSignal::Watch id, 0: none
  SerialRecovery recovery_;
  DeviceScheduler scheduleDevice_;
  std::string openedBy_;
  std::string reopenPath_;
  std::unique_ptr<DeviceWatcher> watcher_;     // while open or down, with recovery
  std::unique_ptr<ReopenDecision> decision_;   // likewise
  bool down_ = false;
};

}  // namespace veltra
