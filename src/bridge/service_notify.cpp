#include "bridge/service_notify.h"

#include <systemd/sd-daemon.h>

#include <cstdint>

namespace veltra::bridge {

ServiceNotifier::ServiceNotifier() {
  std::uint64_t usec = 0;
  if (sd_watchdog_enabled(0, &usec) > 0 && usec > 0)
    aliveEvery_ = std::chrono::microseconds(static_cast<std::int64_t>(usec / 2));
}

void ServiceNotifier::Ready() { sd_notify(0, "READY=1\nSTATUS=Connected to the broker and the bus"); }
void ServiceNotifier::Stopping() { sd_notify(0, "STOPPING=1"); }
void ServiceNotifier::Alive() { sd_notify(0, "WATCHDOG=1"); }
void ServiceNotifier::Status(const std::string& text) { sd_notify(0, ("STATUS=" + text).c_str()); }

}  // namespace veltra::bridge
