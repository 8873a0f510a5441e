#include "serial/comm.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

#include "serial/comm_port.h"
#include "serial/line_settings.h"
#include "serial/port_names.h"

namespace veltra {

namespace {

// How long ClosePort waits for a thread to end. Both threads wait on the
// close signal in every poll, so they end within microseconds; the bound
// only guards against a driver call that never returns.
constexpr auto kThreadEndWait = std::chrono::seconds(2);

// The failure of one system call: the fixed message, the call (or device)
// with the system's description, and the error number.
ECommsError SystemFailure(const char* message, const char* what, int error) {
  return ECommsError(message, std::string(what) + ": " + std::strerror(error), error);
}

// Closes an fd we have just opened when OpenPort gives up on it.
struct FdGuard {
  int fd = -1;
  ~FdGuard() {
    if (fd >= 0) ::close(fd);
  }
  int Release() {
    const int f = fd;
    fd = -1;
    return f;
  }
};

}  // namespace

std::uint8_t DtrControlCode(TDtrControl value) {
  switch (value) {
    case TDtrControl::DtrEnable: return 1;
    case TDtrControl::DtrDisable: return 0;
    case TDtrControl::DtrHandshake: return 2;
  }
  return 0;
}

std::uint8_t RtsControlCode(TRtsControl value) {
  switch (value) {
    case TRtsControl::RtsEnable: return 1;
    case TRtsControl::RtsDisable: return 0;
    case TRtsControl::RtsHandshake: return 2;
    case TRtsControl::RtsTransmissionAvailable: return 3;
  }
  return 0;
}

TComm::TComm(std::shared_ptr<CommNotificationSink> sink) : sink_(std::move(sink)) {}

TComm::~TComm() { ClosePort(); }

void TComm::OpenPort() {
  if (port_) throw ECommsError(kErrAlreadyOpen);

  const std::string path = DevicePathFor(commName_);
  FdGuard device;
  device.fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (device.fd < 0) throw SystemFailure(kErrOpening, path.c_str(), errno);
  // Exclusive use: an advisory lock that every instance takes (it binds
  // root too), and the terminal's own exclusive mode against other programs.
  if (::flock(device.fd, LOCK_EX | LOCK_NB) != 0) {
    throw SystemFailure(kErrOpening, "flock", errno);
  }
  if (!::isatty(device.fd)) throw SystemFailure(kErrNotComm, "isatty", errno);
  termios saved{};
  if (::tcgetattr(device.fd, &saved) != 0) {
    throw SystemFailure(kErrCommBuffer, "tcgetattr", errno);
  }
  ::ioctl(device.fd, TIOCEXCL);

  FdGuard closeSignal;
  closeSignal.fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  FdGuard wake;
  wake.fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (closeSignal.fd < 0 || wake.fd < 0) {
    const int error = errno;
    ::ioctl(device.fd, TIOCNXCL);
    throw SystemFailure(kErrCreateEvent, "eventfd", error);
  }

  // From here on the component is open; the port restores the settings and
  // closes both fds when it goes.
  auto port = std::make_shared<CommPort>(device.fd, closeSignal.fd, sink_, ++openings_);
  device.Release();
  closeSignal.Release();
  port->saved = saved;
  port->restoreSaved = true;
  auto queue = std::make_shared<CommWriteQueue>(wake.fd);
  wake.Release();
  port_ = std::move(port);
  openNow_ = openings_;
  writeQueue_ = std::move(queue);
  ::tcflush(port_->fd, TCIOFLUSH);
  ApplyTimeouts();
  ApplyLineSettings();

  auto start = [this](std::unique_ptr<CommWorker>& worker, auto body) {
    auto created = std::make_unique<CommWorker>();
    std::promise<void> finished;
    created->finished = finished.get_future();
    created->thread = std::thread(
        [body = std::move(body), finished = std::move(finished)]() mutable {
          body();
          finished.set_value();
        });
    worker = std::move(created);
  };

  try {
    start(reader_, [port = port_] { RunReader(port); });
  } catch (const std::exception& e) {
    reader_.reset();
    ReleasePort();
    throw ECommsError(kErrReadThread, e.what());
  }
  try {
    start(writer_, [port = port_, queue = writeQueue_] { RunWriter(port, queue); });
  } catch (const std::exception& e) {
    StopWorker(reader_, TCIFLUSH);
    writer_.reset();
    ReleasePort();
    throw ECommsError(kErrWriteThread, e.what());
  }
}

void TComm::ClosePort() noexcept {
  if (!port_) return;
  StopWorker(reader_, TCIFLUSH);
  StopWorker(writer_, TCOFLUSH);
  ReleasePort();
}

void TComm::StopWorker(std::unique_ptr<CommWorker>& worker, int purgeQueue) noexcept {
  if (!worker) return;
  port_->SignalClose();
  ::tcflush(port_->fd, purgeQueue);
  if (worker->finished.wait_for(kThreadEndWait) == std::future_status::ready) {
    worker->thread.join();
  } else {
    // The thread keeps its own reference to the port, so it can finish later
    // without touching anything that is gone.
    worker->thread.detach();
  }
  worker.reset();
}

void TComm::ReleasePort() noexcept {
  if (writeQueue_) writeQueue_->Close();
  writeQueue_.reset();
  port_.reset();
  openNow_ = 0;
}

std::size_t TComm::WritesPending() const { return writeQueue_ ? writeQueue_->Unwritten() : 0; }

bool TComm::WriteData(const std::uint8_t* buffer, std::uint16_t length) {
  if (!writer_ || !writeQueue_ || length == 0 || buffer == nullptr) return false;
  CommWriteQueue::Request request;
  request.block.reset(new (std::nothrow) std::uint8_t[length + 1u]());
  if (!request.block) return false;
  std::memcpy(request.block.get(), buffer, length);
  request.count = length;
  return writeQueue_->Push(std::move(request));
}

void TComm::HandleNotification(CommMessage message) {
  if (message.opening != 0 && message.opening != openNow_) {
    // A hang-up of a port closed since, or anything of a port that another
    // one has replaced: not this port's.
    if (message.number == CommNotify::RequestHangup || openNow_ != 0) return;
  }
  switch (message.number) {
    case CommNotify::ReceiveData:
      if (OnReceiveData && message.block) {
        OnReceiveData(*this, message.block.get(), static_cast<std::uint16_t>(message.first));
      }
      break;
    case CommNotify::ReceiveError:
      if (OnReceiveError) OnReceiveError(*this, message.second);
      break;
    case CommNotify::RequestHangup:
      if (OnRequestHangup) OnRequestHangup(*this);
      break;
    case CommNotify::ModemStateChange:
      if (OnModemStateChange) OnModemStateChange(*this, message.second);
      break;
    case CommNotify::SendDataEmpty:
      if (OnSendDataEmpty) OnSendDataEmpty(*this);
      break;
  }
}

void TComm::ApplyLineSettings() {
  LineSettings s;
  s.baudRate = baudRate_;
  s.parityCheck = parityCheck_;
  s.outxCtsFlow = outxCtsFlow_;
  s.outxDsrFlow = outxDsrFlow_;
  s.dtrControl = dtrControl_;
  s.dsrSensitivity = dsrSensitivity_;
  s.txContinueOnXoff = txContinueOnXoff_;
  s.outxXonXoffFlow = outxXonXoffFlow_;
  s.inxXonXoffFlow = inxXonXoffFlow_;
  s.replaceWhenParityError = replaceWhenParityError_;
  s.ignoreNullChar = ignoreNullChar_;
  s.rtsControl = rtsControl_;
  s.xonLimit = xonLimit_;
  s.xoffLimit = xoffLimit_;
  s.byteSize = byteSize_;
  s.parity = parity_;
  s.stopBits = stopBits_;
  s.xonChar = xonChar_;
  s.xoffChar = xoffChar_;
  s.replacedChar = replacedChar_;
  ApplyLineSettingsToDevice(port_->fd, s);
  port_->ignoreNullChar.store(ignoreNullChar_);
}

void TComm::ApplyTimeouts() {
  CommTimeouts& t = port_->timeouts;
  t.readInterval.store(readIntervalTimeout_);
  t.readTotalMultiplier.store(readTotalTimeoutMultiplier_);
  t.readTotalConstant.store(readTotalTimeoutConstant_);
  t.writeTotalMultiplier.store(writeTotalTimeoutMultiplier_);
  t.writeTotalConstant.store(writeTotalTimeoutConstant_);
}

}  // namespace veltra
