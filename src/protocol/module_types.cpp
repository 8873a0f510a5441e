#include "protocol/module_types.h"

#include <array>
#include <charconv>

namespace veltra {
namespace {

struct Family {
  int code;  // the type's first byte
  ModuleFamily family;
  int minChannels, maxChannels;  // the second byte
};

// Channel counts are those the modules are made with; the infrared
// transmitter and the bus switch answer a fixed second byte of 1.
constexpr std::array<Family, 5> kFamilies{{
    {0x01, ModuleFamily::Curtain, 1, 8},
    {0x02, ModuleFamily::Light, 1, 8},
    {0x03, ModuleFamily::Infrared, 1, 1},
    {0x04, ModuleFamily::Input, 1, 32},
    {0x10, ModuleFamily::BusSwitch, 1, 1},
}};

std::optional<int> HexByte(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

std::optional<ModuleTypeInfo> DescribeModuleType(std::string_view type) {
  if (type.size() != 4) return std::nullopt;
  const auto code = HexByte(type.substr(0, 2));
  const auto channels = HexByte(type.substr(2, 2));
  if (!code || !channels) return std::nullopt;
  for (const Family& f : kFamilies) {
    if (f.code != *code) continue;
    if (*channels < f.minChannels || *channels > f.maxChannels) return std::nullopt;
    const bool counted = f.family != ModuleFamily::Infrared && f.family != ModuleFamily::BusSwitch;
    return ModuleTypeInfo{f.family, counted ? *channels : 0};
  }
  return std::nullopt;
}

std::string_view FamilyName(ModuleFamily family) {
  switch (family) {
    case ModuleFamily::Light: return "Light module";
    case ModuleFamily::Curtain: return "Curtain module";
    case ModuleFamily::Infrared: return "Infrared transmitter";
    case ModuleFamily::Input: return "Input module";
    case ModuleFamily::BusSwitch: return "Bus switch";
  }
  return "Module";
}

}  // namespace veltra
