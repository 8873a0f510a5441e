#pragma once
// Module management requests of the "Subnet Module Settings" group.
#include <string_view>

#include "protocol/request_writer.h"

namespace veltra {

enum class ModuleCommand { SetAddress, ReadAddress, TestModule, ReadModuleType, ReadVersion, Restore };

// Writes the request for "Module Addr. :" = moduleAddress.
void BuildModuleCommand(TransmitBuffer& buffer, ModuleCommand command, const Addressing& addressing,
                        int moduleAddress);

}  // namespace veltra
