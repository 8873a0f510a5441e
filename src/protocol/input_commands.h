#pragma once
// The "Function :" list of the "Input Module Control" tab: what a bound
// input triggers.
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace veltra {

// One row of the "Function :" list: the request the bound input triggers.
struct InputFunction {
  std::string_view item;
  int targetClass;
  int targetCommand;
  enum class Target { OneOutput, AllOutputs, Scene } target;
  // The highest parameter it takes: the scene number for "Scene".
  int maxParameter;
};

// The twelve items of the "Function :" list, in list order.
std::span<const InputFunction> InputFunctions();
// The function of this name in the list (exact, or ignoring case, spaces,
// '-' and '_': "toggle-light"), or of this place in it (1-12). Nothing when
// none is.
std::optional<std::size_t> FindInputFunction(std::string_view nameOrNumber);
// Lower case letters and digits only: "Toggle Light", "toggle-light" and
// "TOGGLE_LIGHT" fold to the same name.
std::string FoldedName(std::string_view text);
// The name as a command-line word: "toggle-light".
std::string InputFunctionWord(const InputFunction& function);

}  // namespace veltra
