// Linux serial ioctls that need the kernel's own headers (termios2,
// serial counters). Kept apart from <termios.h>, whose definitions clash
// with the kernel's.
#pragma once

#include <cstdint>

#include "serial/comm.h"

namespace veltra {

// Sets both directions to any rate through termios2/BOTHER. The driver
// rounds to what its clock allows. False when the device refuses.
bool SetExactBaudRate(int fd, std::uint32_t baudRate);
// Reads the output rate in bits/s, whether set by constant or exactly.
bool ReadBaudRate(int fd, std::uint32_t& baudRate);

// Line-error and modem-line counters of a serial driver (TIOCGICOUNT).
struct LineCounters {
  std::uint32_t frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
  std::uint32_t dcd = 0, rng = 0;
};
// False when the device keeps no counters (a pseudo-terminal, ENOTTY).
bool ReadLineCounters(int fd, LineCounters& counters);
// What changed between two readings: the line-error flags (kLineError*)
// and the modem bits (kModemCarrierDetect, kModemRing).
struct LineEvents {
  std::uint32_t errors = 0;
  std::uint32_t modem = 0;
};
LineEvents LineEventsBetween(const LineCounters& before, const LineCounters& after);

}  // namespace veltra
