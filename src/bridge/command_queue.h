#pragma once
// Commands on their way from the MQTT client's threads to the bus thread.
// While the link is down the queue is closed: a command is refused at once,
// never kept for later, and closing hands back those still waiting so that
// they are refused too. Bounded: a flood is refused rather than queued up.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "bridge/bus_command.h"

namespace veltra::bridge {

class CommandQueue {
 public:
  explicit CommandQueue(std::size_t capacity = 64) : capacity_(capacity) {}

  enum class Admission { Queued, LinkDown, Full };
  Admission Push(const BusCommand& command);
  std::optional<BusCommand> Pop();
  // Waits until a command is queued, Wake() is called, or `until`.
  void WaitUntil(std::chrono::steady_clock::time_point until);
  void Wake();

  // The link is up: commands are taken from now on.
  void Open();
  // The link is down: commands are refused from now on; those still queued.
  std::vector<BusCommand> Close();
  bool IsOpen() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<BusCommand> commands_;
  std::size_t capacity_;
  bool open_ = false;
  bool woken_ = false;
};

}  // namespace veltra::bridge
