#pragma once
// Infrared-module and input-module requests of the "IR Control" and
// "Input Module Control" tabs.
#include <span>
#include <string_view>

#include "protocol/request_writer.h"

namespace veltra {

enum class InfraredCommand { LearnOn, LearnOff, DeleteCode, DeleteAllCodes, SendCode };

// Always the direct frame, whatever link is selected.
void BuildInfraredCommand(TransmitBuffer& buffer, InfraredCommand command, int module, int codeNumber);

// One row of the "Function :" list: the request the bound input triggers.
struct InputFunction {
  std::string_view item;
  int targetClass;
  int targetCommand;
  enum class Target { OneOutput, AllOutputs, Scene } target;
};

// The twelve items of the "Function :" list, in list order.
std::span<const InputFunction> InputFunctions();

struct BindInputFields {
  int inputModule = 1;   // "Module Addr. :" of the input module
  int input = 1;         // "Input No. :", counted from 1
  int outputModule = 1;  // "Module Addr. :" of the output module
  int output = 1;        // "Output No. :", counted from 1
  int controlMode = 0;   // 0 Button, 1 Switch
  int function = 0;      // index into InputFunctions()
  int parameter = 0;
};

// "Set": bind the input to the chosen function.
void BuildBindInput(TransmitBuffer& buffer, const Addressing& addressing, const BindInputFields& fields);
// "Clear": the same command with every binding byte 255.
void BuildClearInput(TransmitBuffer& buffer, const Addressing& addressing, int inputModule, int input);

}  // namespace veltra
