#include "link/stop_signal.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace veltra {

StopSignal::StopSignal() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

StopSignal::~StopSignal() { ::close(fd_); }

void StopSignal::Raise(int reason) {
  std::lock_guard lock(mutex_);
  if (raised_.load()) return;
  reason_.store(reason, std::memory_order_release);
  raised_.store(true, std::memory_order_release);
  // Stays readable: nobody reads the counter back.
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(fd_, &one, sizeof one);
  for (auto& [id, wake] : watchers_) wake();
}

int StopSignal::Watch(std::function<void()> wake) {
  std::lock_guard lock(mutex_);
  if (raised_.load()) wake();
  const int id = nextId_++;
  watchers_.emplace(id, std::move(wake));
  return id;
}

void StopSignal::Unwatch(int id) {
  std::lock_guard lock(mutex_);
  watchers_.erase(id);
}

}  // namespace veltra
