#include "bridge/outbox.h"

namespace veltra::bridge {

Outbox::Outbox(Send send, std::size_t capacity) : send_(std::move(send)), capacity_(capacity) {}

Outbox::~Outbox() { Stop(); }

void Outbox::Start() { thread_ = std::thread([this] { Run(); }); }

bool Outbox::Post(Publication publication) {
  {
    std::lock_guard lock(mutex_);
    if (queue_.size() >= capacity_) {
      ++dropped_;
      return false;
    }
    queue_.push_back(std::move(publication));
  }
  posted_.notify_one();
  return true;
}

void Outbox::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  posted_.notify_one();
  if (thread_.joinable()) thread_.join();
}

std::size_t Outbox::Dropped() const {
  std::lock_guard lock(mutex_);
  return dropped_;
}

void Outbox::Run() {
  std::unique_lock lock(mutex_);
  while (true) {
    posted_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;  // stopping, and everything is sent
    Publication next = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    send_(next);
    lock.lock();
  }
}

}  // namespace veltra::bridge
