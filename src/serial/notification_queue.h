// A notification sink that the owner's thread drains by hand: for tests,
// tools and benchmarks that run the component without an event loop.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

#include "serial/comm.h"

namespace veltra {

class CommNotificationQueue : public CommNotificationSink {
 public:
  bool Post(CommMessage message) override;

  // Raises the events of every notification queued now, in posting order,
  // on the calling thread. Returns how many it delivered.
  std::size_t DeliverPending(TComm& comm);
  // Waits until at least one notification is queued, or Interrupt was
  // called; false on time-out or interruption.
  bool WaitForPending(std::chrono::milliseconds timeout);
  // Ends every wait of WaitForPending now and later (a stop was asked for).
  void Interrupt();
  std::size_t PendingCount();
  // After Refuse, Post fails (as when the owner has gone).
  void Refuse();

 private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<CommMessage> messages_;
  bool refusing_ = false;
  bool interrupted_ = false;
};

}  // namespace veltra
