// Names offered for the serial port, and the device each name opens.
#pragma once

#include <string>
#include <vector>

namespace veltra {

// "COM1" to "COM5", then the USB serial devices present now
// (/dev/ttyUSB*, /dev/ttyACM*) as paths, in natural order.
std::vector<std::string> SerialPortNames();

// "COM1".."COM5" open /dev/ttyS0../dev/ttyS4; a name containing '/' is a
// path and opens itself; any other name is used as given.
std::string DevicePathFor(const std::string& commName);

}  // namespace veltra
