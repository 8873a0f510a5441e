#include "protocol/module_types.h"

#include <cctype>

#include "protocol/command_catalogue.h"
#include "protocol/frame.h"

namespace veltra {
namespace {

// The first byte of each kind's code.
constexpr std::uint8_t kLightByte = 0x02;
constexpr std::uint8_t kCurtainByte = 0x01;
constexpr std::uint8_t kInfraredByte = 0x03;
constexpr std::uint8_t kInputByte = 0x04;
constexpr std::uint8_t kBusSwitchByte = 0x10;
// The second byte of the two kinds without channels.
constexpr std::uint8_t kSingleByte = 0x01;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
  return -1;
}

std::string Counted(int n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::array<std::uint8_t, 2> ModuleType::Bytes() const {
  const auto count = static_cast<std::uint8_t>(channels);
  switch (kind) {
    case ModuleKind::Light: return {kLightByte, count};
    case ModuleKind::Curtain: return {kCurtainByte, count};
    case ModuleKind::Infrared: return {kInfraredByte, kSingleByte};
    case ModuleKind::Input: return {kInputByte, count};
    case ModuleKind::BusSwitch: return {kBusSwitchByte, kSingleByte};
  }
  return {0, 0};
}

std::string ModuleType::Code() const {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string code;
  for (const std::uint8_t b : Bytes()) {
    code += kDigits[b >> 4];
    code += kDigits[b & 0x0F];
  }
  return code;
}

std::string ModuleType::Name() const {
  switch (kind) {
    case ModuleKind::Light: return "light module with " + Counted(channels, "output", "outputs");
    case ModuleKind::Curtain: return "curtain module with " + Counted(channels, "output", "outputs");
    case ModuleKind::Infrared: return "infrared module";
    case ModuleKind::Input: return "input module with " + Counted(channels, "input", "inputs");
    case ModuleKind::BusSwitch: return "bus switch";
  }
  return {};
}

int ModuleType::OutputClass() const {
  if (kind == ModuleKind::Light) return ClassLight;
  if (kind == ModuleKind::Curtain) return ClassCurtain;
  return -1;
}

ModuleType TypeOf(ModuleKind kind, int channels) {
  const bool counted = kind == ModuleKind::Light || kind == ModuleKind::Curtain || kind == ModuleKind::Input;
  return {kind, counted ? channels : 0};
}

std::optional<ModuleType> ModuleTypeOf(std::uint8_t kindByte, std::uint8_t channelByte) {
  switch (kindByte) {
    case kLightByte:
    case kCurtainByte:
    case kInputByte: {
      if (channelByte == 0) return std::nullopt;
      const ModuleKind kind = kindByte == kLightByte     ? ModuleKind::Light
                              : kindByte == kCurtainByte ? ModuleKind::Curtain
                                                         : ModuleKind::Input;
      return TypeOf(kind, channelByte);
    }
    case kInfraredByte:
      if (channelByte != kSingleByte) return std::nullopt;
      return TypeOf(ModuleKind::Infrared);
    case kBusSwitchByte:
      if (channelByte != kSingleByte) return std::nullopt;
      return TypeOf(ModuleKind::BusSwitch);
    default:
      return std::nullopt;
  }
}

std::optional<ModuleType> ParseModuleType(std::string_view code) {
  if (code.size() != 4) return std::nullopt;
  int digits[4];
  for (std::size_t i = 0; i < 4; ++i)
    if ((digits[i] = HexDigit(code[i])) < 0) return std::nullopt;
  return ModuleTypeOf(static_cast<std::uint8_t>(digits[0] * 16 + digits[1]),
                      static_cast<std::uint8_t>(digits[2] * 16 + digits[3]));
}

std::string_view KindName(ModuleKind kind) {
  switch (kind) {
    case ModuleKind::Light: return "light";
    case ModuleKind::Curtain: return "curtain";
    case ModuleKind::Infrared: return "infrared";
    case ModuleKind::Input: return "input";
    case ModuleKind::BusSwitch: return "bus switch";
  }
  return {};
}

std::optional<std::string> ModuleTypeName(std::string_view code) {
  const std::optional<ModuleType> type = ParseModuleType(code);
  if (!type) return std::nullopt;
  // A module has as many outputs or inputs as its requests can name.
  const auto holds = [&](RequestId id, std::string_view field) { return Request(id).Field(field).Holds(type->channels); };
  const std::string count = std::to_string(type->channels);
  switch (type->kind) {
    case ModuleKind::Light:
      if (holds(RequestId::LightOn, "OUTPUT")) return "Light-" + count;
      break;
    case ModuleKind::Curtain:
      if (holds(RequestId::CurtainOpen, "OUTPUT")) return "Curtain-" + count;
      break;
    case ModuleKind::Input:
      if (holds(RequestId::BindInput, "INPUT")) return "Input-" + count;
      break;
    case ModuleKind::Infrared:
      return std::string("IR");
    case ModuleKind::BusSwitch:
      return std::string("Bus switch");
  }
  return std::nullopt;
}

}  // namespace veltra
