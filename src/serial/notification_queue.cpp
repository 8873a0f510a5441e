#include "serial/notification_queue.h"

namespace veltra {

bool CommNotificationQueue::Post(CommMessage message) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (refusing_) return false;
    messages_.push_back(std::move(message));
  }
  posted_.notify_all();
  return true;
}

std::size_t CommNotificationQueue::DeliverPending(TComm& comm) {
  std::deque<CommMessage> batch;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    batch.swap(messages_);
  }
  const std::size_t delivered = batch.size();
  while (!batch.empty()) {
    CommMessage message = std::move(batch.front());
    batch.pop_front();
    comm.HandleNotification(std::move(message));
  }
  return delivered;
}

bool CommNotificationQueue::WaitForPending(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return posted_.wait_for(lock, timeout, [this] { return !messages_.empty() || interrupted_; }) &&
         !messages_.empty();
}

void CommNotificationQueue::Interrupt() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    interrupted_ = true;
  }
  posted_.notify_all();
}

std::size_t CommNotificationQueue::PendingCount() {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_.size();
}

void CommNotificationQueue::Refuse() {
  std::lock_guard<std::mutex> lock(mutex_);
  refusing_ = true;
}

}  // namespace veltra
