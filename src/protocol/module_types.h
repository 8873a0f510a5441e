#pragma once
// The kinds of module on the bus and the type codes they answer "Read
// Module Type" with: two bytes, shown as four hex digits. The first byte is
// the kind, the second how many outputs or inputs the module has:
//   02nn  light module with nn outputs       01nn  curtain module with nn outputs
//   0301  infrared module                     04nn  input module with nn inputs
//   1001  the bus switch
// What a module of a type can be asked to do (turn-on times, travel times,
// scenes, input bindings) is decided here, for the plan checks, the
// simulated bus and the window's names of the types.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace veltra {

enum class ModuleKind { Light, Curtain, Infrared, Input, BusSwitch };

struct ModuleType {
  ModuleKind kind = ModuleKind::Light;
  int channels = 0;  // outputs of light and curtain modules, inputs of input modules; else 0

  std::array<std::uint8_t, 2> Bytes() const;
  // "0208"
  std::string Code() const;
  // "light module with 8 outputs", "infrared module", "bus switch"
  std::string Name() const;

  bool HasOutputs() const { return kind == ModuleKind::Light || kind == ModuleKind::Curtain; }
  // Turn-on times are a light's, travel times a curtain's, scenes belong to
  // modules with outputs, bindings to input modules.
  bool TakesTurnOnTimes() const { return kind == ModuleKind::Light; }
  bool TakesTravelTimes() const { return kind == ModuleKind::Curtain; }
  bool TakesScenes() const { return HasOutputs(); }
  bool TakesBindings() const { return kind == ModuleKind::Input; }
  // The request class (light or curtain) its outputs are switched with; -1 for none.
  int OutputClass() const;
};

// The type of a kind with its channel count (ignored for infrared modules
// and the bus switch).
ModuleType TypeOf(ModuleKind kind, int channels = 0);
// The type a code names: four hex digits in any case, or the two bytes.
// Nothing for a code of no known kind (or a kind with 0 channels).
std::optional<ModuleType> ParseModuleType(std::string_view code);
std::optional<ModuleType> ModuleTypeOf(std::uint8_t kindByte, std::uint8_t channelByte);

// "light", "curtain", "infrared", "input", "bus switch".
std::string_view KindName(ModuleKind kind);

// The short name of a type given as four hex digits (either case), as the
// modules put it in their version texts: "Light-8", "Curtain-4", "IR",
// "Input-8", "Bus switch". Nothing for text of another shape, a type of no
// known kind, or more outputs or inputs than the catalogue's requests can
// name.
std::optional<std::string> ModuleTypeName(std::string_view code);

}  // namespace veltra
