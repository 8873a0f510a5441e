#pragma once
// What a module type says about a module: the four hex digits that "Read
// Module Type" shows (and a site plan's `type` holds) name its family in the
// first byte and, for modules with outputs or inputs, their number in the
// second: "0208" is a light module with 8 outputs, "0104" a curtain module
// with 4, "0301" an infrared transmitter, "0408" an input module with 8
// inputs, "1001" the bus switch.
#include <optional>
#include <string_view>

namespace veltra {

enum class ModuleFamily { Light, Curtain, Infrared, Input, BusSwitch };

struct ModuleTypeInfo {
  ModuleFamily family = ModuleFamily::Light;
  int channels = 0;  // outputs of light and curtain modules, inputs of input modules; 0 otherwise
};

// The family and channel count of four hex digits (either case); nothing
// for text of another shape, an unknown family or a channel count the
// family cannot have.
std::optional<ModuleTypeInfo> DescribeModuleType(std::string_view type);

// "Light module", "Curtain module", "Infrared transmitter", "Input module",
// "Bus switch".
std::string_view FamilyName(ModuleFamily family);

// Whether modules of the family have outputs that ReadStatus reads.
inline bool HasOutputs(ModuleFamily family) {
  return family == ModuleFamily::Light || family == ModuleFamily::Curtain;
}

}  // namespace veltra
