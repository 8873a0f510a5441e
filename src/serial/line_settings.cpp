#include "serial/line_settings.h"

#include <sys/ioctl.h>

namespace veltra {

void ApplyLineSettingsToTermios(const LineSettings& s, termios& t) {
  // Raw mode: bytes pass unchanged in both directions.
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                      IXON | IXOFF | IXANY | INPCK | IGNPAR | IUCLC | IMAXBEL);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  t.c_cflag |= CREAD | CLOCAL;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;

  switch (s.byteSize) {
    case TByteSize::_5: t.c_cflag |= CS5; break;
    case TByteSize::_6: t.c_cflag |= CS6; break;
    case TByteSize::_7: t.c_cflag |= CS7; break;
    case TByteSize::_8: t.c_cflag |= CS8; break;
  }
  switch (s.parity) {
    case TParity::None: break;
    case TParity::Odd: t.c_cflag |= PARENB | PARODD; break;
    case TParity::Even: t.c_cflag |= PARENB; break;
    // With CMSPAR the parity bit is constant: 1 with PARODD, 0 without.
    case TParity::Mark: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case TParity::Space: t.c_cflag |= PARENB | CMSPAR; break;
  }
  // Linux knows one and two stop bits; 1.5 becomes two (a UART sends 1.5
  // for this setting with 5 data bits).
  if (s.stopBits != TStopBits::_1) t.c_cflag |= CSTOPB;

  // The driver counts parity errors whenever the line has parity (they reach
  // OnReceiveError through the line counters). INPCK additionally makes the
  // line discipline deliver a failing byte as 0x00: that is the replacement
  // with the error character, which Linux can only do for 0x00. Without the
  // replacement the byte passes as received.
  if (s.parityCheck && s.replaceWhenParityError) t.c_iflag |= INPCK;
  // Linux has one hardware handshake covering both CTS (output) and RTS
  // (input).
  if (s.outxCtsFlow || s.rtsControl == TRtsControl::RtsHandshake) t.c_cflag |= CRTSCTS;
  if (s.outxXonXoffFlow) t.c_iflag |= IXON;
  if (s.inxXonXoffFlow) t.c_iflag |= IXOFF;
  t.c_cc[VSTART] = static_cast<cc_t>(s.xonChar);
  t.c_cc[VSTOP] = static_cast<cc_t>(s.xoffChar);
}

std::chrono::microseconds CharacterTime(std::uint32_t baudRate, TByteSize byteSize, TParity parity,
                                        TStopBits stopBits) {
  if (baudRate == 0) return std::chrono::microseconds(0);
  // Counted in half bits, for 1.5 stop bits.
  const std::uint64_t dataBits = static_cast<std::uint64_t>(byteSize) + 5;
  const std::uint64_t parityBits = parity == TParity::None ? 0 : 1;
  const std::uint64_t stopHalves = stopBits == TStopBits::_1 ? 2 : stopBits == TStopBits::_1_5 ? 3 : 4;
  const std::uint64_t halves = 2 * (1 + dataBits + parityBits) + stopHalves;
  return std::chrono::microseconds((halves * 1'000'000 + baudRate) / (2 * std::uint64_t{baudRate}));
}

speed_t StandardSpeed(std::uint32_t baudRate) {
  switch (baudRate) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    default: return B0;
  }
}

void ApplyLineSettingsToDevice(int fd, const LineSettings& s) {
  termios t{};
  if (::tcgetattr(fd, &t) != 0) return;
  ApplyLineSettingsToTermios(s, t);
  const speed_t speed = StandardSpeed(s.baudRate);
  if (speed != B0) {
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
  }
  ::tcsetattr(fd, TCSANOW, &t);
  if (speed == B0) SetExactBaudRate(fd, s.baudRate);

  // DTR: on, or on for handshaking, which Linux does not drive. RTS: on or
  // off; with handshaking the driver moves it (CRTSCTS); while transmitting
  // is left to the adapter's own direction control. Devices without modem
  // lines (pseudo-terminals: ENOTTY) simply refuse.
  int dtr = TIOCM_DTR;
  if (DtrControlCode(s.dtrControl) == 0) {
    ::ioctl(fd, TIOCMBIC, &dtr);
  } else {
    ::ioctl(fd, TIOCMBIS, &dtr);
  }
  int rts = TIOCM_RTS;
  switch (RtsControlCode(s.rtsControl)) {
    case 0: ::ioctl(fd, TIOCMBIC, &rts); break;
    case 1: ::ioctl(fd, TIOCMBIS, &rts); break;
    default: break;
  }
}

}  // namespace veltra
