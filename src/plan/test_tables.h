#pragma once
// The [[test]] tables of a plan (or of a file beside it), read into test
// steps and checked against the plan's modules. Used by the plan parser.
#include <toml++/toml.h>

#include <string_view>
#include <vector>

#include "plan/site_plan.h"

namespace veltra::plan {

// Reads root["test"] into plan.tests; problems go to errors with their place.
void ReadTestTables(const toml::table& root, std::string_view file, Plan& plan, std::vector<Error>& errors);

// Whether a module switches lights (true), curtains (false), or cannot tell
// (no type, no times): from its type's first byte, else from its settings.
std::optional<bool> SwitchesLights(const Module& module);

}  // namespace veltra::plan
