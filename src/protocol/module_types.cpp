#include "protocol/module_types.h"

#include <charconv>

#include "protocol/command_catalogue.h"

namespace veltra {

std::optional<std::string> ModuleTypeName(std::string_view code) {
  if (code.size() != 4) return std::nullopt;
  unsigned value = 0;
  const auto [end, error] = std::from_chars(code.data(), code.data() + code.size(), value, 16);
  if (error != std::errc() || end != code.data() + code.size()) return std::nullopt;
  const unsigned kind = value >> 8;
  const int count = static_cast<int>(value & 0xFF);
  // A module has as many outputs or inputs as its requests can name.
  const auto holds = [count](RequestId id, std::string_view field) { return Request(id).Field(field).Holds(count); };
  switch (kind) {
    case 0x01:
      if (holds(RequestId::CurtainOpen, "OUTPUT")) return "Curtain-" + std::to_string(count);
      break;
    case 0x02:
      if (holds(RequestId::LightOn, "OUTPUT")) return "Light-" + std::to_string(count);
      break;
    case 0x03:
      if (count == 1) return "IR";
      break;
    case 0x04:
      if (holds(RequestId::BindInput, "INPUT")) return "Input-" + std::to_string(count);
      break;
    case 0x10:
      if (count == 1) return "Bus switch";
      break;
    default:
      break;
  }
  return std::nullopt;
}

}  // namespace veltra
