// Only the kernel's headers here: <termios.h> must not be included in this
// file, its struct termios clashes with <asm/termbits.h>.
#include "serial/tty_ioctl.h"

#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/ioctl.h>

namespace veltra {

bool SetExactBaudRate(int fd, std::uint32_t baudRate) {
  termios2 t{};
  if (ioctl(fd, TCGETS2, &t) != 0) return false;
  t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  t.c_ispeed = baudRate;
  t.c_ospeed = baudRate;
  return ioctl(fd, TCSETS2, &t) == 0;
}

bool ReadBaudRate(int fd, std::uint32_t& baudRate) {
  termios2 t{};
  if (ioctl(fd, TCGETS2, &t) != 0) return false;
  baudRate = t.c_ospeed;
  return true;
}

bool ReadLineCounters(int fd, LineCounters& counters) {
  serial_icounter_struct c{};
  if (ioctl(fd, TIOCGICOUNT, &c) != 0) return false;
  counters.frame = static_cast<std::uint32_t>(c.frame);
  counters.overrun = static_cast<std::uint32_t>(c.overrun);
  counters.parity = static_cast<std::uint32_t>(c.parity);
  counters.brk = static_cast<std::uint32_t>(c.brk);
  counters.bufOverrun = static_cast<std::uint32_t>(c.buf_overrun);
  counters.dcd = static_cast<std::uint32_t>(c.dcd);
  counters.rng = static_cast<std::uint32_t>(c.rng);
  return true;
}

LineEvents LineEventsBetween(const LineCounters& before, const LineCounters& after) {
  LineEvents events;
  if (after.bufOverrun != before.bufOverrun) events.errors |= kLineErrorRxOver;
  if (after.overrun != before.overrun) events.errors |= kLineErrorOverrun;
  if (after.parity != before.parity) events.errors |= kLineErrorParity;
  if (after.frame != before.frame) events.errors |= kLineErrorFrame;
  if (after.brk != before.brk) events.errors |= kLineErrorBreak;
  if (after.dcd != before.dcd) events.modem |= kModemCarrierDetect;
  if (after.rng != before.rng) events.modem |= kModemRing;
  return events;
}

}  // namespace veltra
