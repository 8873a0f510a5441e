#include "protocol/input_commands.h"

#include <array>
#include <cctype>
#include <charconv>

#include "protocol/command_numbers.h"
#include "protocol/frame.h"
#include "protocol/scene_commands.h"

namespace veltra {
namespace {

using T = InputFunction::Target;
constexpr int kAnyByte = 255;
constexpr std::array<InputFunction, 12> kInputFunctions{{
    {"Turn on Light", ClassLight, light_command::On, T::OneOutput, kAnyByte},
    {"Turn off Light", ClassLight, light_command::Off, T::OneOutput, kAnyByte},
    {"Toggle Light", ClassLight, light_command::Toggle, T::OneOutput, kAnyByte},
    {"Turn on All Lights", ClassLight, light_command::AllOn, T::AllOutputs, kAnyByte},
    {"Turn off All Lights", ClassLight, light_command::AllOff, T::AllOutputs, kAnyByte},
    {"Open Curtain", ClassCurtain, curtain_command::Open, T::OneOutput, kAnyByte},
    {"Close Curtain", ClassCurtain, curtain_command::Close, T::OneOutput, kAnyByte},
    {"Stop Curtain", ClassCurtain, curtain_command::Stop, T::OneOutput, kAnyByte},
    {"Open All Curtains", ClassCurtain, curtain_command::OpenAll, T::AllOutputs, kAnyByte},
    {"Close All Curtains", ClassCurtain, curtain_command::CloseAll, T::AllOutputs, kAnyByte},
    {"Stop All Curtains", ClassCurtain, curtain_command::StopAll, T::AllOutputs, kAnyByte},
    {"Scene", ClassSystem, system_command::TestScene, T::Scene, kSceneNoMax},
}};



}  // namespace

std::span<const InputFunction> InputFunctions() { return kInputFunctions; }

std::string FoldedName(std::string_view text) {
  std::string folded;
  for (const char c : text)
    if (std::isalnum(static_cast<unsigned char>(c))) folded += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return folded;
}

std::optional<std::size_t> FindInputFunction(std::string_view text) {
  int number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (!text.empty() && error == std::errc() && end == text.data() + text.size()) {
    if (number < 1 || number > static_cast<int>(kInputFunctions.size())) return std::nullopt;
    return static_cast<std::size_t>(number - 1);
  }
  const std::string wanted = FoldedName(text);
  if (wanted.empty()) return std::nullopt;
  for (std::size_t i = 0; i < kInputFunctions.size(); ++i)
    if (FoldedName(kInputFunctions[i].item) == wanted) return i;
  return std::nullopt;
}

std::string InputFunctionWord(const InputFunction& function) {
  std::string word;
  for (const char c : function.item)
    word += c == ' ' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return word;
}

}  // namespace veltra
