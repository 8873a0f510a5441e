#include "bridge/command_queue.h"

namespace veltra::bridge {

CommandQueue::Admission CommandQueue::Push(const BusCommand& command) {
  {
    std::lock_guard lock(mutex_);
    if (!open_) return Admission::LinkDown;
    if (commands_.size() >= capacity_) return Admission::Full;
    commands_.push_back(command);
  }
  changed_.notify_one();
  return Admission::Queued;
}

std::optional<BusCommand> CommandQueue::Pop() {
  std::lock_guard lock(mutex_);
  if (commands_.empty()) return std::nullopt;
  BusCommand command = commands_.front();
  commands_.pop_front();
  return command;
}

void CommandQueue::WaitUntil(std::chrono::steady_clock::time_point until) {
  std::unique_lock lock(mutex_);
  changed_.wait_until(lock, until, [this] { return woken_ || !commands_.empty(); });
  woken_ = false;
}

void CommandQueue::Wake() {
  {
    std::lock_guard lock(mutex_);
    woken_ = true;
  }
  changed_.notify_all();
}

void CommandQueue::Open() {
  std::lock_guard lock(mutex_);
  open_ = true;
}

std::vector<BusCommand> CommandQueue::Close() {
  std::lock_guard lock(mutex_);
  open_ = false;
  std::vector<BusCommand> refused(commands_.begin(), commands_.end());
  commands_.clear();
  return refused;
}

bool CommandQueue::IsOpen() const {
  std::lock_guard lock(mutex_);
  return open_;
}

}  // namespace veltra::bridge
