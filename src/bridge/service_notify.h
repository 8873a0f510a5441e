#pragma once
// What the bridge tells systemd (Type=notify): ready once the broker and
// the link are up, alive at half the watchdog's time, stopping on SIGTERM.
// Outside systemd every call does nothing.
#include <chrono>
#include <optional>
#include <string>

namespace veltra::bridge {

class ServiceNotifier {
 public:
  ServiceNotifier();
  void Ready();
  void Stopping();
  void Alive();
  void Status(const std::string& text);
  // How often Alive() is due (half of WATCHDOG_USEC); nothing without a watchdog.
  std::optional<std::chrono::microseconds> AliveEvery() const { return aliveEvery_; }

 private:
  std::optional<std::chrono::microseconds> aliveEvery_;
};

}  // namespace veltra::bridge
