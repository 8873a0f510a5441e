#include "serial/port_names.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <fstream>

namespace veltra {

namespace {

// "ttyUSB2" before "ttyUSB10": compare the text, then the trailing number.
bool NaturalLess(const std::string& a, const std::string& b) {
  auto split = [](const std::string& s) {
    std::size_t i = s.size();
    while (i > 0 && std::isdigit(static_cast<unsigned char>(s[i - 1]))) --i;
    return std::make_pair(s.substr(0, i), s.substr(i));
  };
  const auto [aText, aDigits] = split(a);
  const auto [bText, bDigits] = split(b);
  if (aText != bText) return aText < bText;
  if (aDigits.size() != bDigits.size()) return aDigits.size() < bDigits.size();
  return aDigits < bDigits;
}

bool StartsWith(const std::string& text, const char* start) { return text.rfind(start, 0) == 0; }

bool IsUsbSerialName(const std::string& name) { return StartsWith(name, "ttyUSB") || StartsWith(name, "ttyACM"); }

// Devices that come and go while the console runs.
bool IsPluggedPath(const std::string& path) {
  return StartsWith(path, "/dev/serial/by-id/") || (StartsWith(path, "/dev/") && IsUsbSerialName(path.substr(5)));
}

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end(), NaturalLess);
  return names;
}

std::string FirstLine(const std::string& path) {
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
  return line;
}

// The device file a link (such as a by-id name) leads to, by its name.
std::string LinkedDeviceName(const std::string& path) {
  char resolved[PATH_MAX];
  if (!::realpath(path.c_str(), resolved)) return {};
  const std::string full = resolved;
  return full.substr(full.rfind('/') + 1);
}

// "FTDI FT232R USB UART": the maker and product of the USB device behind a
// tty, from the folders above its device in sysfs.
std::string UsbDescription(const DeviceFolders& folders, const std::string& ttyName) {
  char resolved[PATH_MAX];
  if (!::realpath((folders.sys + "/class/tty/" + ttyName + "/device").c_str(), resolved)) return {};
  std::string folder = resolved;
  for (int up = 0; up < 6 && folder.size() > folders.sys.size(); ++up) {
    const std::string product = FirstLine(folder + "/product");
    if (!product.empty()) {
      const std::string maker = FirstLine(folder + "/manufacturer");
      return maker.empty() || StartsWith(product, maker.c_str()) ? product : maker + ' ' + product;
    }
    folder = folder.substr(0, folder.rfind('/'));
  }
  return {};
}

// The adapter as its by-id name tells it: "usb-FTDI_FT232R_USB_UART_A10K-if00-port0"
// gives "FTDI FT232R USB UART A10K".
std::string DescriptionFromById(std::string name) {
  if (StartsWith(name, "usb-")) name.erase(0, 4);
  if (const auto interface = name.rfind("-if"); interface != std::string::npos) name.erase(interface);
  std::replace(name.begin(), name.end(), '_', ' ');
  return name;
}

// The kernel makes a serial port device for every port its driver could
// have; only those with a UART behind them have a type other than 0.
bool HasUart(const DeviceFolders& folders, const std::string& ttyName) {
  const std::string type = FirstLine(folders.sys + "/class/tty/" + ttyName + "/type");
  return !type.empty() && type != "0";
}

}  // namespace

std::vector<PortChoice> SerialPortChoices(const DeviceFolders& folders) {
  std::vector<PortChoice> choices;
  const std::string byId = folders.dev + "/serial/by-id";
  for (const std::string& name : Entries(byId)) {
    const std::string device = LinkedDeviceName(byId + '/' + name);
    std::string description = device.empty() ? std::string() : UsbDescription(folders, device);
    if (description.empty()) description = DescriptionFromById(name);
    if (!device.empty()) description += " (" + device + ')';
    choices.push_back({"/dev/serial/by-id/" + name, description});
  }
  for (int k = 1; k <= 5; ++k) choices.push_back({"COM" + std::to_string(k), "/dev/ttyS" + std::to_string(k - 1)});
  for (const std::string& name : Entries(folders.dev)) {
    if (StartsWith(name, "ttyS") && name.size() > 4 && std::isdigit(static_cast<unsigned char>(name[4]))) {
      if (HasUart(folders, name)) choices.push_back({"/dev/" + name, "serial port"});
    } else if (IsUsbSerialName(name)) {
      choices.push_back({"/dev/" + name, UsbDescription(folders, name)});
    } else if (StartsWith(name, "ttyAMA")) {
      choices.push_back({"/dev/" + name, "board UART"});
    } else if (name == "serial0" || name == "serial1") {
      const std::string device = LinkedDeviceName(folders.dev + '/' + name);
      choices.push_back({"/dev/" + name, device.empty() ? "board UART" : "board UART (" + device + ')'});
    }
  }
  return choices;
}

std::vector<std::string> SerialPortNames() {
  std::vector<std::string> names;
  for (PortChoice& choice : SerialPortChoices()) names.push_back(std::move(choice.name));
  return names;
}

std::vector<std::string> RefreshedPortNames(const std::vector<std::string>& shown, const std::string& selected,
                                            const std::vector<std::string>& present) {
  std::vector<std::string> names = present;
  for (const std::string& name : shown) {
    if (std::find(names.begin(), names.end(), name) != names.end()) continue;
    if (IsPluggedPath(name) && name != selected) continue;  // unplugged since
    names.push_back(name);
  }
  return names;
}

std::string StableNameFor(const std::string& device, const std::string& stableFolder) {
  char resolved[PATH_MAX];
  if (!::realpath(device.c_str(), resolved)) return {};
  const std::string target = resolved;
  for (const std::string& name : Entries(stableFolder)) {
    const std::string entry = stableFolder + '/' + name;
    if (::realpath(entry.c_str(), resolved) && target == resolved) return entry;
  }
  return {};
}

std::string DevicePathFor(const std::string& commName) {
  if (commName.size() == 4 && commName.compare(0, 3, "COM") == 0 && commName[3] >= '1' &&
      commName[3] <= '5') {
    return "/dev/ttyS" + std::string(1, static_cast<char>(commName[3] - 1));
  }
  return commName;
}

}  // namespace veltra
