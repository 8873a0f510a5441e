#pragma once
// A simulated bus behind a loopback UDP socket whose replies leave after a
// delay the test chooses request by request: the far end for exchanges with
// late replies.
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "../support/loopback_socket.h"
#include "sim/sim_bus.h"

namespace veltra::test {

class DelayedBusPeer {
 public:
  using Delay = std::function<std::chrono::milliseconds(const std::vector<std::uint8_t>& request)>;

  DelayedBusPeer(const std::vector<ModuleSetup>& population, Delay delay)
      : bus_(population), delay_(std::move(delay)), thread_([this] { Run(); }) {}
  ~DelayedBusPeer() {
    stop_ = true;
    thread_.join();
  }

  int port() const { return socket_.port(); }
  // Replies sent so far.
  int Sent() const { return sent_; }
  SimBus& Bus() { return bus_; }

 private:
  using Clock = std::chrono::steady_clock;
  struct Due {
    sockaddr_in to;
    SimFrame bytes;
  };

  void Run() {
    while (!stop_) {
      int wait = 5;
      if (!due_.empty())
        wait = static_cast<int>(std::max<long long>(
            0, std::chrono::duration_cast<std::chrono::milliseconds>(due_.begin()->first - Clock::now()).count()));
      sockaddr_in from{};
      const auto request = socket_.Receive(std::min(wait, 5), &from);
      if (!request.empty()) {
        const auto at = Clock::now() + delay_(request);
        for (SimFrame& reply : bus_.Handle(request.data(), request.size(), SimLink::Udp).replies)
          due_.emplace(at, Due{from, std::move(reply)});
      }
      while (!due_.empty() && due_.begin()->first <= Clock::now()) {
        socket_.SendTo(due_.begin()->second.to, due_.begin()->second.bytes);
        due_.erase(due_.begin());
        ++sent_;
      }
    }
  }

  LoopbackSocket socket_;
  SimBus bus_;
  Delay delay_;
  std::multimap<Clock::time_point, Due> due_;
  std::atomic<bool> stop_{false};
  std::atomic<int> sent_{0};
  std::thread thread_;
};

}  // namespace veltra::test
