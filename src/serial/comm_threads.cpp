// The reader and the writer thread of an open port. Each blocks in one poll
// over all its sources, the close signal always first, with no time limit
// unless a read time-out is running.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "serial/comm_port.h"
#include "serial/tty_ioctl.h"

namespace veltra {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A device that keeps line counters is asked for them at least this often
// while idle, so a line error or modem change without data is reported.
constexpr milliseconds kLineEventCheck{200};
// Reads that return nothing although poll reported input, in a row, before
// the device counts as gone.
constexpr int kMaxEmptyReads = 3;
// Writes that the device takes no byte of, although it reported room, in a
// row, before the writer gives up; paced so they do not spin.
constexpr int kMaxStalledWrites = 100;
constexpr int kStalledWritePauseMs = 10;
// Longest total read time-out honoured (about 24 days).
constexpr std::uint64_t kMaxTotalReadMs = std::uint64_t{1} << 31;

int MillisecondsUntil(Clock::time_point deadline, Clock::time_point now) {
  if (deadline <= now) return 0;
  const auto left = std::chrono::ceil<milliseconds>(deadline - now).count();
  return static_cast<int>(std::min<long long>(left, 1 << 30));
}

class Reader {
 public:
  explicit Reader(const CommPort& port) : port_(port) {}

  void Run() {
    counting_ = ReadLineCounters(port_.fd, counters_);
    StartRead(Clock::now());
    for (;;) {
      const Clock::time_point now = Clock::now();
      const bool hasDeadline = ComputeDeadline();
      if (hasDeadline && now >= deadline_) {
        // The read is complete: a gap after the last byte or the total
        // time-out. A read that ends empty is simply started again.
        if (!Deliver()) return;
        StartRead(now);
        continue;
      }
      int timeout = hasDeadline ? MillisecondsUntil(deadline_, now) : -1;
      if (counting_) {
        const int check = static_cast<int>(kLineEventCheck.count());
        timeout = timeout < 0 ? check : std::min(timeout, check);
      }

      pollfd fds[2] = {{port_.closeFd, POLLIN, 0}, {port_.fd, POLLIN, 0}};
      const int ready = ::poll(fds, 2, timeout);
      if (ready < 0) {
        if (errno == EINTR) continue;
        port_.PostHangup();
        return;
      }
      if (fds[0].revents != 0) return;  // closing: silently
      if (counting_ && !ReportLineEvents()) return;
      if (fds[1].revents & POLLIN) {
        if (!ReadAvailable((fds[1].revents & POLLHUP) != 0)) return;
        continue;
      }
      if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
        // The device went away: hand over what arrived, then report.
        if (Deliver()) port_.PostHangup();
        return;
      }
    }
  }

 private:
  void StartRead(Clock::time_point now) {
    count_ = 0;
    readStart_ = now;
  }

  // The moment the current read completes, if one applies now.
  bool ComputeDeadline() {
    const std::uint32_t interval = port_.timeouts.readInterval.load();
    const std::uint32_t multiplier = port_.timeouts.readTotalMultiplier.load();
    const std::uint32_t constant = port_.timeouts.readTotalConstant.load();
    bool has = false;
    if (count_ > 0 && interval != 0 && interval != kNoIntervalLimit) {
      deadline_ = lastByte_ + milliseconds(interval);
      has = true;
    }
    if (multiplier != 0 || constant != 0) {
      // Capped so that the largest settings cannot overflow the clock.
      const std::uint64_t totalMs = std::min<std::uint64_t>(
          static_cast<std::uint64_t>(multiplier) * kReadBufferSize + constant, kMaxTotalReadMs);
      const auto total = readStart_ + milliseconds(static_cast<milliseconds::rep>(totalMs));
      deadline_ = has ? std::min(deadline_, total) : total;
      has = true;
    }
    return has;
  }

  // Takes what the device has. False when the reader must end.
  bool ReadAvailable(bool hungUp) {
    const ssize_t n = ::read(port_.fd, buffer_ + count_, kReadBufferSize - count_);
    if (n > 0) {
      emptyReads_ = 0;
      std::size_t got = static_cast<std::size_t>(n);
      if (port_.ignoreNullChar.load()) {
        std::uint8_t* first = buffer_ + count_;
        got = static_cast<std::size_t>(std::remove(first, first + got, std::uint8_t{0}) - first);
      }
      if (got == 0) return true;
      count_ += got;
      lastByte_ = Clock::now();
      const bool immediate = port_.timeouts.readInterval.load() == kNoIntervalLimit &&
                             port_.timeouts.readTotalMultiplier.load() == 0 &&
                             port_.timeouts.readTotalConstant.load() == 0;
      if (count_ == kReadBufferSize || immediate) {
        if (!Deliver()) return false;
        StartRead(lastByte_);
      }
      return true;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
    if (n == 0 && !hungUp && ++emptyReads_ < kMaxEmptyReads) return true;
    // EIO after a hang-up, end of file, or any other failure: hand over what
    // arrived and report, unless the fd itself is gone.
    const bool badFd = n < 0 && errno == EBADF;
    if (!Deliver()) return false;
    if (!badFd) port_.PostHangup();
    return false;
  }

  // Posts the collected bytes, if any, as one ReceiveData.
  bool Deliver() {
    if (count_ == 0) return true;
    CommMessage message;
    message.number = CommNotify::ReceiveData;
    message.first = static_cast<std::uint32_t>(count_);
    message.block.reset(new (std::nothrow) std::uint8_t[count_ + 1]());
    if (!message.block) {
      port_.PostHangup();
      return false;
    }
    std::memcpy(message.block.get(), buffer_, count_);
    count_ = 0;
    return port_.Post(std::move(message));
  }

  bool ReportLineEvents() {
    LineCounters now;
    if (!ReadLineCounters(port_.fd, now)) {
      counting_ = false;  // a vanished device shows up in the read
      return true;
    }
    const LineEvents events = LineEventsBetween(counters_, now);
    counters_ = now;
    if (events.errors != 0) {
      CommMessage message;
      message.number = CommNotify::ReceiveError;
      message.second = events.errors;
      if (!port_.Post(std::move(message))) return false;
    }
    if (events.modem != 0) {
      CommMessage message;
      message.number = CommNotify::ModemStateChange;
      message.second = events.modem;
      if (!port_.Post(std::move(message))) return false;
    }
    return true;
  }

  const CommPort& port_;
  std::uint8_t buffer_[kReadBufferSize];
  std::size_t count_ = 0;
  Clock::time_point readStart_;
  Clock::time_point lastByte_;
  Clock::time_point deadline_;
  int emptyReads_ = 0;
  bool counting_ = false;
  LineCounters counters_;
};

enum class WriteOutcome { Written, Closing, Failed };

// Writes one request completely. Closing: the close signal came first.
// Failed: the device refused; the caller reports the hang-up.
WriteOutcome WriteAll(const CommPort& port, const std::uint8_t* data, std::size_t count) {
  std::size_t offset = 0;
  int stalled = 0;
  while (offset < count) {
    const ssize_t n = ::write(port.fd, data + offset, count - offset);
    if (n > 0) {
      offset += static_cast<std::size_t>(n);
      stalled = 0;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EBADF) return WriteOutcome::Closing;  // the port is gone
    if (n < 0 && errno != EAGAIN) return WriteOutcome::Failed;
    pollfd fds[2] = {{port.closeFd, POLLIN, 0}, {port.fd, POLLOUT, 0}};
    int timeout = -1;
    if (n == 0) {
      // Nothing taken although there was room: wait a little before the
      // next try, and give up if it goes on.
      if (++stalled > kMaxStalledWrites) return WriteOutcome::Failed;
      fds[1].events = 0;
      timeout = kStalledWritePauseMs;
    }
    // Output held by flow control (XOFF, CTS) waits here; closing wins.
    const int ready = ::poll(fds, 2, timeout);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return WriteOutcome::Failed;
    }
    if (fds[0].revents != 0) return WriteOutcome::Closing;
    if ((fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) && !(fds[1].revents & POLLOUT)) {
      return WriteOutcome::Failed;
    }
  }
  return WriteOutcome::Written;
}

}  // namespace

void RunReader(const std::shared_ptr<CommPort>& port) {
  Reader reader(*port);
  reader.Run();
  ::tcflush(port->fd, TCIFLUSH);
}

void RunWriter(const std::shared_ptr<CommPort>& port, const std::shared_ptr<CommWriteQueue>& queue) {
  bool notifyWhenEmpty = true;
  bool failed = false;
  for (;;) {
    CommWriteQueue::Request request;
    if (!queue->TryPop(request)) {
      if (notifyWhenEmpty) {
        CommMessage empty;
        empty.number = CommNotify::SendDataEmpty;
        empty.opening = port->opening;
        if (!port->sink->Post(std::move(empty))) {
          failed = true;
          break;
        }
        notifyWhenEmpty = false;
      }
      pollfd fds[2] = {{port->closeFd, POLLIN, 0}, {queue->WakeFd(), POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        failed = true;
        break;
      }
      if (fds[0].revents != 0) break;
      if (fds[1].revents & POLLIN) queue->ClearWake();
      continue;
    }
    if (port->CloseSignalled()) break;  // the request is dropped unsent
    const WriteOutcome outcome = WriteAll(*port, request.block.get(), request.count);
    if (outcome == WriteOutcome::Failed) failed = true;
    if (outcome != WriteOutcome::Written) break;
    // Counted before the empty queue is reported, so whoever wakes on that
    // report finds the count up to date.
    queue->MarkWritten();
    notifyWhenEmpty = true;
  }
  // Refuse further requests before the hang-up is reported, so an owner that
  // reacts to it finds WriteData failing.
  queue->Close();
  if (failed) port->PostHangup();
  ::tcflush(port->fd, TCOFLUSH);
}

}  // namespace veltra
