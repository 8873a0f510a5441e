#include "protocol/module_commands.h"

#include <array>

#include "protocol/command_numbers.h"

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
    {ModuleCommand::SetAddress, system_command::SetAddress, Target::Everyone, true},
    {ModuleCommand::ReadAddress, system_command::ReadAddress, Target::Everyone, false},
    {ModuleCommand::TestModule, system_command::TestModule, Target::FieldAddress, false},
    {ModuleCommand::ReadModuleType, system_command::ReadModuleType, Target::FieldAddress, false},
    {ModuleCommand::ReadVersion, system_command::ReadVersion, Target::FieldAddress, false},
    {ModuleCommand::Restore, system_command::Restore, Target::FieldAddress, false},
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
