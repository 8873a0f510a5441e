#include "protocol/output_commands.h"

#include <array>

#include "protocol/command_numbers.h"

namespace veltra {
namespace {

// How the parameters after Command are filled.
enum class Shape {
  OneOutput,   // module, output-1, 255
  AllOutputs,  // 255 as address, 255, 255
  Timed,       // module, output-1, 16-bit time high/low
  Status,      // ReadStatus: class 0, command 8, module, no parameters
};

struct OutputCommandRow {
  OutputCommand command;
  int cls;
  int number;
  Shape shape;
  int timeFactor;  // multiplier of the time field (curtain tenths -> milliseconds)
};

constexpr std::array<OutputCommandRow, 15> kOutputCommands{{
    {OutputCommand::LightOn, ClassLight, 1, Shape::OneOutput, 1},
    {OutputCommand::LightOff, ClassLight, 2, Shape::OneOutput, 1},
    {OutputCommand::LightToggle, ClassLight, 3, Shape::OneOutput, 1},
    {OutputCommand::LightAllOn, ClassLight, 4, Shape::AllOutputs, 1},
    {OutputCommand::LightAllOff, ClassLight, 5, Shape::AllOutputs, 1},
    {OutputCommand::LightSetOnTime, ClassLight, 0, Shape::Timed, 1},
    {OutputCommand::LightReadStatus, ClassSystem, system_command::ReadStatus, Shape::Status, 1},
    {OutputCommand::CurtainOpen, ClassCurtain, 1, Shape::OneOutput, 1},
    {OutputCommand::CurtainClose, ClassCurtain, 2, Shape::OneOutput, 1},
    {OutputCommand::CurtainStop, ClassCurtain, 3, Shape::OneOutput, 1},
    {OutputCommand::CurtainOpenAll, ClassCurtain, 4, Shape::AllOutputs, 1},
    {OutputCommand::CurtainCloseAll, ClassCurtain, 5, Shape::AllOutputs, 1},
    {OutputCommand::CurtainStopAll, ClassCurtain, 6, Shape::AllOutputs, 1},
    {OutputCommand::CurtainSetTravelTime, ClassCurtain, 0, Shape::Timed, 100},
    {OutputCommand::CurtainReadStatus, ClassSystem, system_command::ReadStatus, Shape::Status, 1},
}};

}  // namespace

void BuildOutputCommand(TransmitBuffer& buffer, OutputCommand command, const Addressing& addressing,
                        const OutputFields& fields) {
  for (const auto& row : kOutputCommands) {
    if (row.command != command) continue;
    switch (row.shape) {
      case Shape::OneOutput:
        WriteRequest(buffer, addressing, fields.module, row.cls, row.number, {fields.output - 1, kFiller});
        break;
      case Shape::AllOutputs:
        WriteRequest(buffer, addressing, kFiller, row.cls, row.number, {kFiller, kFiller});
        break;
      case Shape::Timed: {
        const int time = fields.time * row.timeFactor;
        WriteRequest(buffer, addressing, fields.module, row.cls, row.number,
                     {fields.output - 1, High8(time), Low8(time)});
        break;
      }
      case Shape::Status:
        WriteRequest(buffer, addressing, fields.module, row.cls, row.number, {});
        break;
    }
    return;
  }
}

}  // namespace veltra
