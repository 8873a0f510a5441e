#include "serial/port_names.h"

#include <algorithm>
#include <cctype>
#include <dirent.h>

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

bool IsUsbSerialName(const std::string& name) { return name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0; }

bool IsUsbSerialPath(const std::string& path) { return path.rfind("/dev/", 0) == 0 && IsUsbSerialName(path.substr(5)); }

}  // namespace

std::vector<std::string> SerialPortNames() {
  std::vector<std::string> names = {"COM1", "COM2", "COM3", "COM4", "COM5"};
  std::vector<std::string> devices;
  if (DIR* dir = ::opendir("/dev")) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (IsUsbSerialName(name)) devices.push_back("/dev/" + name);
    }
    ::closedir(dir);
  }
  std::sort(devices.begin(), devices.end(), NaturalLess);
  names.insert(names.end(), devices.begin(), devices.end());
  return names;
}

std::vector<std::string> RefreshedPortNames(const std::vector<std::string>& shown, const std::string& selected,
                                            const std::vector<std::string>& present) {
  std::vector<std::string> names = present;
  for (const std::string& name : shown) {
    if (std::find(names.begin(), names.end(), name) != names.end()) continue;
    if (IsUsbSerialPath(name) && name != selected) continue;  // unplugged since
    names.push_back(name);
  }
  return names;
}

std::string DevicePathFor(const std::string& commName) {
  if (commName.size() == 4 && commName.compare(0, 3, "COM") == 0 && commName[3] >= '1' &&
      commName[3] <= '5') {
    return "/dev/ttyS" + std::string(1, static_cast<char>(commName[3] - 1));
  }
  return commName;
}

}  // namespace veltra
