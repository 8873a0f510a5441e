// Names offered for the serial port, and the device each name opens.
#pragma once

#include <string>
#include <vector>

namespace veltra {

// "COM1" to "COM5", then the USB serial devices present now
// (/dev/ttyUSB*, /dev/ttyACM*) as paths, in natural order.
std::vector<std::string> SerialPortNames();

// The port list after a fresh look at the system: `present` (as
// SerialPortNames gives it, "COM1".."COM5" first), then the entries of
// `shown` it lacks, in their order, except USB devices that have gone away;
// `selected` is kept whatever it is.
std::vector<std::string> RefreshedPortNames(const std::vector<std::string>& shown, const std::string& selected,
                                            const std::vector<std::string>& present);

// "COM1".."COM5" open /dev/ttyS0../dev/ttyS4; a name containing '/' is a
// path and opens itself; any other name is used as given.
std::string DevicePathFor(const std::string& commName);

}  // namespace veltra
