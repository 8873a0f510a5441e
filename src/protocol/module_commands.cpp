#include "protocol/module_commands.h"

#include <array>

namespace veltra {
namespace {

enum class Target { Everyone, FieldAddress };

struct ModuleCommandRow {
  ModuleCommand command;
  int number;
  Target address;
  bool carriesAddress;  // SetAddress sends the field's value as its parameter
};

constexpr std::array<ModuleCommandRow, 6> kModuleCommands{{
    {ModuleCommand::SetAddress, 0, Target::Everyone, true},
    {ModuleCommand::ReadAddress, 5, Target::Everyone, false},
    {ModuleCommand::TestModule, 9, Target::FieldAddress, false},
    {ModuleCommand::ReadModuleType, 6, Target::FieldAddress, false},
    {ModuleCommand::ReadVersion, 7, Target::FieldAddress, false},
    {ModuleCommand::Restore, 10, Target::FieldAddress, false},
}};

}  // namespace

void BuildModuleCommand(TransmitBuffer& buffer, ModuleCommand command, const Addressing& addressing,
                        int moduleAddress) {
  for (const auto& row : kModuleCommands) {
    if (row.command != command) continue;
    const int address = row.address == Target::Everyone ? kFiller : moduleAddress;
    if (row.carriesAddress)
      WriteRequest(buffer, addressing, address, ClassSystem, row.number, {moduleAddress});
    else
      WriteRequest(buffer, addressing, address, ClassSystem, row.number, {});
    return;
  }
}

}  // namespace veltra
