#include "link/serial_link.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <limits>

#include "serial/notification_queue.h"
#include "serial/port_names.h"

namespace veltra {
SerialLink::SerialLink() : queue_(std::make_shared<CommNotificationQueue>()) {
  comm_ = std::make_unique<TComm>(queue_);
  waitForDelivery_ = [this](int timeoutMs) {
    queue_->WaitForPending(std::chrono::milliseconds(timeoutMs));
  };
  Wire();
}

SerialLink::SerialLink(std::unique_ptr<TComm> comm, DeliveryWait waitForDelivery, ExpiryScheduler scheduleExpiry)
    : comm_(std::move(comm)), waitForDelivery_(std::move(waitForDelivery)), scheduleExpiry_(std::move(scheduleExpiry)) {
  Wire();
}

SerialLink::~SerialLink() {
  WatchStop(nullptr);
  Close();
}

void SerialLink::WatchStop(StopSignal* stop) {
  if (Stop() && stopWatch_) Stop()->Unwatch(stopWatch_);
  stopWatch_ = 0;
  Link::WatchStop(stop);
  // The waits of Receive and Flush are on the notification queue: the stop
  // wakes them there.
  if (stop && queue_) stopWatch_ = stop->Watch([queue = queue_] { queue->Interrupt(); });
}

void SerialLink::Wire() {
  // A binary bus: 0x11 and 0x13 are ordinary bytes (addresses, checksums),
  // not flow control.
  comm_->SetOutx_XonXoffFlow(false);
  comm_->SetInx_XonXoffFlow(false);
  comm_->OnReceiveData = [this](TComm&, const std::uint8_t* bytes, std::uint16_t length) {
    HandleChunk(bytes, length);
  };
  comm_->OnRequestHangup = [this](TComm&) { HandleHangup(); };
  // The writer's empty-queue report only wakes Flush, which asks the
  // component how many requests are still unwritten: the report the writer
  // makes when it starts can come after a later request was queued.
  comm_->OnSendDataEmpty = [](TComm&) {};
  comm_->OnReceiveError = [this](TComm&, std::uint32_t mask) {
    if (onLineError) onLineError(mask);
  };
}

void SerialLink::SetFraming(FrameForm form) {
  assembler_.SetForm(form);
  // The assembler finds where frames end, so the reader need not wait for a
  // gap on the line before it hands bytes over.
  comm_->SetReadIntervalTimeout(kNoIntervalLimit);
}

void SerialLink::HandleChunk(const std::uint8_t* bytes, std::uint16_t length) {
  // The tap sees the line's bytes as they came, noise and broken frames included.
  Trace(FrameDirection::Received, {bytes, length}, Local(), {});
  const std::size_t skipped = assembler_.SkippedBytes();
  const auto frames = assembler_.Feed(bytes, length, FrameAssembler::Clock::now());
  ReportSkipped(skipped);
  DeliverAll(frames);
  ScheduleExpiry();
}

void SerialLink::ExpireFrames() {
  const std::size_t skipped = assembler_.SkippedBytes();
  const auto frames = assembler_.Expire(FrameAssembler::Clock::now());
  ReportSkipped(skipped);
  DeliverAll(frames);
  ScheduleExpiry();
}

void SerialLink::ReportSkipped(std::size_t skippedBefore) {
  const std::vector<FrameAssembler::Frame> rejected = assembler_.TakeRejected();
  const std::size_t skipped = assembler_.SkippedBytes() - skippedBefore;
  if (skipped == 0 || !Observed()) return;
  const auto now = std::chrono::system_clock::now();
  for (const FrameAssembler::Frame& frame : rejected)
    Report({ObservedKind::NotAFrame, frame, now, Local(), {}, assembler_.Form(), std::nullopt, 0});
  Report({ObservedKind::Noise, {}, now, Local(), {}, assembler_.Form(), std::nullopt, skipped});
}

LineTiming SerialLink::Timing() const {
  const int dataBits = 5 + static_cast<int>(comm_->ByteSize());
  const int parityBits = comm_->Parity() == TParity::None ? 0 : 1;
  const int stopBits = comm_->StopBits() == TStopBits::_1 ? 1 : 2;
  return {comm_->BaudRate(), 1 + dataBits + parityBits + stopBits};
}

void SerialLink::ScheduleExpiry() {
  if (scheduleExpiry_) scheduleExpiry_(assembler_.ExpiryTime());
}

void SerialLink::DeliverAll(const std::vector<FrameAssembler::Frame>& frames) {
  for (const auto& frame : frames) Deliver(frame.data(), frame.size());
  if (!frames.empty()) Ready();
}

void SerialLink::Deliver(const std::uint8_t* bytes, std::size_t length) {
  inbox_.push_back({Bytes(bytes, bytes + length), Local(), std::chrono::steady_clock::now()});
}

void SerialLink::Configure(const SerialSettings& settings) {
  comm_->SetCommName(settings.device);
  comm_->SetBaudRate(settings.baudRate);
  comm_->SetByteSize(settings.byteSize);
  comm_->SetParity(settings.parity);
  comm_->SetStopBits(settings.stopBits);
}

void SerialLink::Open() {
  assembler_.Clear();
  inbox_.clear();
  try {
    comm_->OpenPort();
  } catch (const ECommsError& error) {
    throw LinkError(error.what(), error.detail(), error.code());
  }
  hungUp_ = false;
  down_ = false;
  openedBy_ = comm_->CommName();
  ArmRecovery();
}

void SerialLink::Close() {
  comm_->ClosePort();
  const bool watched = watcher_ != nullptr;
  down_ = false;
  watcher_.reset();
  decision_.reset();
  reopenPath_.clear();
  if (watched) ScheduleDevice();
}

// ---------------------------------------------------------------- recovery

void SerialLink::ArmRecovery() {
  const bool watched = watcher_ != nullptr;
  watcher_.reset();
  decision_.reset();
  reopenPath_.clear();
  // The next watcher may get the same descriptor number: the owner's loop
  // lets go of the old one first.
  if (watched && scheduleDevice_) scheduleDevice_(-1, std::nullopt);
  if (!recovery_.enabled) {
    ScheduleDevice();
    return;
  }
  // A symlink (a stable name, or one of the operator's own) is watched as it
  // is: it comes back with the device, whatever device it then leads to. A
  // device path is watched through its stable name when it has one.
  const std::string path = AbsolutePath(DevicePathFor(openedBy_));
  std::string stable;
  if (!IsSymlink(path)) stable = StableNameFor(path, recovery_.stableFolder);
  reopenPath_ = stable.empty() ? path : stable;
  watcher_ = std::make_unique<DeviceWatcher>(reopenPath_);
  decision_ = std::make_unique<ReopenDecision>(reopenPath_, recovery_.timing);
  const std::string target = DeviceBehind(reopenPath_);
  watcher_->Follow(target);
  decision_->Opened(target);
  ScheduleDevice();
}

void SerialLink::HandleHangup() {
  hungUp_ = true;
  if (decision_ && comm_->IsOpen()) {
    // The threads end and the device is let go; what they posted after this
    // is not delivered (it is the old port's). Frames already taken stay.
    comm_->ClosePort();
    down_ = true;
    decision_->WentDown(std::chrono::steady_clock::now());
    if (onHangup) onHangup();
    // The first look is left to the caller's loop: the hang-up is still
    // being delivered.
    if (scheduleDevice_) scheduleDevice_(watcher_->Handle(), std::chrono::steady_clock::now());
    return;
  }
  if (onHangup) onHangup();
}

void SerialLink::CheckDevice() {
  if (!watcher_ || !decision_) return;
  for (const DeviceEvent& event : watcher_->Take()) decision_->Take(event);
  if (!down_) return;
  const auto now = std::chrono::steady_clock::now();
  if (decision_->TryNow(LeadsToDevice(reopenPath_), now)) Reopen(now);
  ScheduleDevice();
}

void SerialLink::Reopen(std::chrono::steady_clock::time_point now) {
  // The same settings, kept by the component; by the watched path, which may
  // now lead to another ttyUSBn.
  comm_->SetCommName(reopenPath_);
  assembler_.Clear();
  try {
    comm_->OpenPort();
  } catch (const ECommsError&) {
    decision_->Failed(now);
    return;
  }
  down_ = false;
  hungUp_ = false;
  const std::string target = DeviceBehind(reopenPath_);
  watcher_->Follow(target);
  decision_->Opened(target);
  if (onReconnected) onReconnected();
}

void SerialLink::ScheduleDevice() {
  if (!scheduleDevice_) return;
  std::optional<std::chrono::steady_clock::time_point> look;
  if (down_ && decision_) look = decision_->NextLook(std::chrono::steady_clock::now());
  scheduleDevice_(watcher_ ? watcher_->Handle() : -1, look);
}

void SerialLink::AwaitDevice(int timeoutMs) {
  const auto now = std::chrono::steady_clock::now();
  if (decision_) {
    const auto untilLook =
        std::chrono::ceil<std::chrono::milliseconds>(decision_->NextLook(now) - now).count();
    timeoutMs = std::min(timeoutMs, static_cast<int>(std::max<long long>(untilLook, 0)));
  }
  pollfd fds[2] = {{watcher_ ? watcher_->Handle() : -1, POLLIN, 0}, {Stop() ? Stop()->Handle() : -1, POLLIN, 0}};
  ::poll(fds, 2, timeoutMs);
}

bool SerialLink::Flush(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (queue_) queue_->DeliverPending(*comm_);
    const bool written = comm_->WritesPending() == 0;
    if (written || !comm_->IsOpen() || hungUp_ || Stopping()) return written;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0 || !waitForDelivery_) return false;
    waitForDelivery_(static_cast<int>(left));
  }
}

TransmitStatus SerialLink::Transmit(std::span<const std::uint8_t> frame) {
  if (!comm_->IsOpen()) return TransmitStatus::NotOpen;
  const auto length = static_cast<std::uint16_t>(std::min<std::size_t>(frame.size(), 0xFFFF));
  if (!comm_->WriteData(frame.data(), length)) return TransmitStatus::Refused;
  if (Tapped()) Trace(FrameDirection::Sent, frame.first(length), Local(), {});
  return TransmitStatus::Sent;
}

std::optional<ReceivedUnit> SerialLink::Receive(int timeoutMs) {
  if (timeoutMs == -1) timeoutMs = ReceiveTimeout;
  using Clock = std::chrono::steady_clock;
  const bool unlimited = timeoutMs < 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(unlimited ? 0 : timeoutMs);
  for (;;) {
    if (queue_) queue_->DeliverPending(*comm_);
    if (!inbox_.empty()) {
      ReceivedUnit unit = std::move(inbox_.front());
      inbox_.pop_front();
      return unit;
    }
    const auto now = Clock::now();
    const std::size_t skipped = assembler_.SkippedBytes();
    const auto expired = assembler_.Expire(now);
    ReportSkipped(skipped);
    DeliverAll(expired);
    if (!inbox_.empty()) continue;
    if (Stopping()) return std::nullopt;
    int wait = std::numeric_limits<int>::max();
    if (!unlimited) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
      if (left <= 0) return std::nullopt;
      wait = static_cast<int>(left);
    }
    // Wake up in time to give up an incomplete frame after the line's silence.
    if (const auto expiry = assembler_.ExpiryTime()) {
      const auto untilExpiry = std::chrono::ceil<std::chrono::milliseconds>(*expiry - now).count();
      wait = std::min(wait, static_cast<int>(std::max<long long>(untilExpiry, 1)));
    }
    if (down_ && queue_) {
      // Nothing comes through the component while the port is closed: the
      // wait is on the watcher, and the look at the path follows it.
      AwaitDevice(wait);
      CheckDevice();
      continue;
    }
    if (!waitForDelivery_) return std::nullopt;
    waitForDelivery_(wait);
  }
}

void SerialLink::DiscardPending() {
  if (queue_) queue_->DeliverPending(*comm_);
  inbox_.clear();
  assembler_.Clear();
}

}  // namespace veltra
