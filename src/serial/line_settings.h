// How the component's line properties become Linux terminal settings.
#pragma once

#include <chrono>
#include <cstdint>
#include <termios.h>

#include "serial/comm.h"
#include "serial/tty_ioctl.h"

namespace veltra {

struct LineSettings {
  std::uint32_t baudRate = 9600;
  bool parityCheck = false;
  bool outxCtsFlow = false;
  bool outxDsrFlow = false;
  TDtrControl dtrControl = TDtrControl::DtrEnable;
  bool dsrSensitivity = false;
  bool txContinueOnXoff = true;
  bool outxXonXoffFlow = true;
  bool inxXonXoffFlow = true;
  bool replaceWhenParityError = false;
  bool ignoreNullChar = false;
  TRtsControl rtsControl = TRtsControl::RtsEnable;
  std::uint16_t xonLimit = 500;
  std::uint16_t xoffLimit = 500;
  TByteSize byteSize = TByteSize::_8;
  TParity parity = TParity::None;
  TStopBits stopBits = TStopBits::_1;
  std::uint8_t xonChar = 0x11;
  std::uint8_t xoffChar = 0x13;
  std::uint8_t replacedChar = 0;
};

// Raw mode (no echo, no line editing, no output processing, no signals,
// reads return as soon as one byte is there) plus data bits, parity, stop
// bits and flow control from the settings. Fields the settings do not cover
// keep the values in t. The speed is not touched: see StandardSpeed.
void ApplyLineSettingsToTermios(const LineSettings& settings, termios& t);

// The termios speed constant for a baud rate, or B0 when Linux has no
// constant for it (14400, 56000, 128000, ...); such rates are set exactly
// with SetExactBaudRate.
speed_t StandardSpeed(std::uint32_t baudRate);

// How long one character takes on the line: start bit, data bits, parity
// bit if any, stop bits (1.5 counted as such). Zero for a baud rate of 0.
std::chrono::microseconds CharacterTime(std::uint32_t baudRate, TByteSize byteSize, TParity parity,
                                        TStopBits stopBits);

// Applies the settings to an open terminal: raw mode and line settings,
// the speed (exactly, also for rates without a constant), then DTR and RTS.
// Refusals by the device are not reported: the port stays as it is.
void ApplyLineSettingsToDevice(int fd, const LineSettings& settings);

}  // namespace veltra
