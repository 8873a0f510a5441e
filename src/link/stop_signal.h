#pragma once
// A request to stop that the links' waits watch: the tool's Ctrl+C and
// SIGTERM. Once raised, a link's Receive returns at once (woken, not
// polled), the exchange sends nothing more, and the caller reports what was
// done. A raised stop stays raised.
//
// Raise it from a thread (the one that takes the signals with sigwait), not
// from a signal handler: it wakes waits on condition variables too.
#include <atomic>
#include <functional>
#include <map>
#include <mutex>

namespace veltra {

class StopSignal {
 public:
  // Throws std::system_error when the system gives no event descriptor.
  StopSignal();
  ~StopSignal();
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;

  // Asks every wait to end; the first reason (a signal number) is kept.
  void Raise(int reason);
  bool Raised() const { return raised_.load(std::memory_order_acquire); }
  // The reason given to the first Raise; 0 while not raised.
  int Reason() const { return reason_.load(std::memory_order_acquire); }
  // The flag itself, for loops that look at it between steps.
  const std::atomic<bool>& Flag() const { return raised_; }

  // Readable once raised, for poll() beside a link's own descriptor.
  int Handle() const { return fd_; }
  // For waits on a condition variable: wake is called once when the stop is
  // raised (at once when it already is), on the raising thread. Returns an
  // id for Unwatch; after Unwatch returns, wake is not running and not
  // called again.
  int Watch(std::function<void()> wake);
  void Unwatch(int id);

 private:
  int fd_ = -1;
  std::atomic<bool> raised_{false};
  std::atomic<int> reason_{0};
  std::mutex mutex_;
  std::map<int, std::function<void()>> watchers_;
  int nextId_ = 1;
};

}  // namespace veltra
