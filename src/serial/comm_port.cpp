#include "serial/comm_port.h"

#include <cerrno>
#include <cstdint>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <poll.h>
#include <unistd.h>

namespace veltra {

CommPort::~CommPort() {
  if (restoreSaved) ::tcsetattr(fd, TCSANOW, &saved);
  ::ioctl(fd, TIOCNXCL);
  ::close(fd);  // also drops the advisory lock
  ::close(closeFd);
}

void CommPort::SignalClose() const {
  const std::uint64_t one = 1;
  // An eventfd only fails to take 1 at a count near 2^64.
  [[maybe_unused]] const ssize_t n = ::write(closeFd, &one, sizeof one);
}

bool CommPort::CloseSignalled() const {
  pollfd p{closeFd, POLLIN, 0};
  return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0;
}

bool CommPort::Post(CommMessage message) const {
  message.opening = opening;
  if (sink && sink->Post(std::move(message))) return true;
  PostHangup();
  return false;
}

void CommPort::PostHangup() const {
  if (!sink) return;
  CommMessage hangup;
  hangup.number = CommNotify::RequestHangup;
  hangup.opening = opening;
  sink->Post(std::move(hangup));
}

CommWriteQueue::~CommWriteQueue() { ::close(wakeFd_); }

bool CommWriteQueue::Push(Request request) {
  bool wasEmpty = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return false;
    wasEmpty = requests_.empty();
    requests_.push_back(std::move(request));
    ++pushed_;
  }
  // The writer empties the queue before it waits, so only a request that
  // lands in an empty queue needs to wake it.
  if (!wasEmpty) return true;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
  return true;
}

bool CommWriteQueue::TryPop(Request& request) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (requests_.empty()) return false;
  request = std::move(requests_.front());
  requests_.pop_front();
  return true;
}

void CommWriteQueue::MarkWritten() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++written_;
}

std::size_t CommWriteQueue::Unwritten() {
  std::lock_guard<std::mutex> lock(mutex_);
  return pushed_ - written_;
}

void CommWriteQueue::Close() {
  std::deque<Request> dropped;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    dropped.swap(requests_);
  }
}

void CommWriteQueue::ClearWake() const {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
}

}  // namespace veltra
