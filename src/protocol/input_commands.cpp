#include "protocol/input_commands.h"

#include <array>

#include "protocol/command_numbers.h"

namespace veltra {
namespace {

struct InfraredRow {
  InfraredCommand command;
  int number;
  bool carriesCode;  // DeleteCode and SendCode carry "IR No. :" as entered
};

constexpr std::array<InfraredRow, 5> kInfraredCommands{{
    {InfraredCommand::LearnOn, 0, false},
    {InfraredCommand::LearnOff, 1, false},
    {InfraredCommand::DeleteCode, 2, true},
    {InfraredCommand::DeleteAllCodes, 3, false},
    {InfraredCommand::SendCode, 4, true},
}};

using T = InputFunction::Target;
constexpr std::array<InputFunction, 12> kInputFunctions{{
    {"Turn on Light", ClassLight, 1, T::OneOutput},
    {"Turn off Light", ClassLight, 2, T::OneOutput},
    {"Toggle Light", ClassLight, 3, T::OneOutput},
    {"Turn on All Lights", ClassLight, 4, T::AllOutputs},
    {"Turn off All Lights", ClassLight, 5, T::AllOutputs},
    {"Open Curtain", ClassCurtain, 1, T::OneOutput},
    {"Close Curtain", ClassCurtain, 2, T::OneOutput},
    {"Stop Curtain", ClassCurtain, 3, T::OneOutput},
    {"Open All Curtains", ClassCurtain, 4, T::AllOutputs},
    {"Close All Curtains", ClassCurtain, 5, T::AllOutputs},
    {"Stop All Curtains", ClassCurtain, 6, T::AllOutputs},
    {"Scene", ClassSystem, system_command::TestScene, T::Scene},
}};

constexpr int kInfraredSelector = 1;  // P1 of every infrared request

}  // namespace

void BuildInfraredCommand(TransmitBuffer& buffer, InfraredCommand command, int module, int codeNumber) {
  for (const auto& row : kInfraredCommands) {
    if (row.command != command) continue;
    WriteRequest(buffer, Addressing{FrameForm::Direct, 0}, module, ClassInfrared, row.number,
                 {kInfraredSelector, row.carriesCode ? codeNumber : kFiller});
    return;
  }
}

std::span<const InputFunction> InputFunctions() { return kInputFunctions; }

void BuildBindInput(TransmitBuffer& buffer, const Addressing& addressing, const BindInputFields& f) {
  // An index outside the list leaves class and command as 255: nothing to bind.
  const bool known = f.function >= 0 && f.function < static_cast<int>(kInputFunctions.size());
  const InputFunction* fn = known ? &kInputFunctions[static_cast<std::size_t>(f.function)] : nullptr;
  int targetAddress = f.outputModule;
  int targetOutput = f.output - 1;
  int parameter = f.parameter;
  if (fn && fn->target == T::AllOutputs) {
    targetAddress = targetOutput = parameter = kFiller;
  } else if (fn && fn->target == T::Scene) {
    targetAddress = targetOutput = kFiller;
  }
  WriteRequest(buffer, addressing, f.inputModule, ClassSystem, system_command::BindInput,
               {f.input - 1, f.controlMode, fn ? fn->targetClass : kFiller,
                fn ? fn->targetCommand : kFiller, targetAddress, targetOutput, parameter});
}

void BuildClearInput(TransmitBuffer& buffer, const Addressing& addressing, int inputModule, int input) {
  WriteRequest(buffer, addressing, inputModule, ClassSystem, system_command::BindInput,
               {input - 1, kFiller, kFiller, kFiller, kFiller, kFiller, kFiller});
}

}  // namespace veltra
