// Names offered for the serial port, and the device each name opens.
#pragma once

#include <string>
#include <vector>

namespace veltra {

// A port the console offers: the name it opens, and what the device is
// (the adapter's maker and product for USB adapters; empty when unknown).
struct PortChoice {
  std::string name;
  std::string description;
  bool operator==(const PortChoice&) const = default;
};

// Where devices are looked for; tests point them at a scratch tree.
struct DeviceFolders {
  std::string dev = "/dev";
  std::string sys = "/sys";
};

// The ports offered now: first the stable names of USB adapters in
// /dev/serial/by-id (they stay the same whichever socket the adapter is
// plugged into), then "COM1" to "COM5", then the devices present as paths,
// in natural order: the serial ports with a UART behind them (/dev/ttyS*),
// USB adapters (/dev/ttyUSB*, /dev/ttyACM*), the UARTs of boards such as
// the Raspberry Pi (/dev/ttyAMA*, and its /dev/serial0 and /dev/serial1).
std::vector<PortChoice> SerialPortChoices(const DeviceFolders& folders = {});

// The names of SerialPortChoices, in its order.
std::vector<std::string> SerialPortNames();

// The port list after a fresh look at the system: `present` (as
// SerialPortNames gives it, "COM1".."COM5" first), then the entries of
// `shown` it lacks, in their order, except USB devices that have gone away;
// `selected` is kept whatever it is.
std::vector<std::string> RefreshedPortNames(const std::vector<std::string>& shown, const std::string& selected,
                                            const std::vector<std::string>& present);

// The stable name of a device: the entry of `stableFolder` (normally
// /dev/serial/by-id) that leads to the same device file as `device` does,
// as stableFolder + '/' + its name; empty when there is none.
std::string StableNameFor(const std::string& device, const std::string& stableFolder = "/dev/serial/by-id");

// "COM1".."COM5" open /dev/ttyS0../dev/ttyS4; a name containing '/' is a
// path and opens itself; any other name is used as given.
std::string DevicePathFor(const std::string& commName);

}  // namespace veltra
