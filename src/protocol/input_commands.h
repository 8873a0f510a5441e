#pragma once
// The "Function :" list of the "Input Module Control" tab: what a bound
// input triggers.
#include <span>
#include <string_view>

namespace veltra {

// One row of the "Function :" list: the request the bound input triggers.
struct InputFunction {
  std::string_view item;
  int targetClass;
  int targetCommand;
  enum class Target { OneOutput, AllOutputs, Scene } target;
};

// The twelve items of the "Function :" list, in list order.
std::span<const InputFunction> InputFunctions();

}  // namespace veltra
