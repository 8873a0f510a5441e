#pragma once
// The requests that apply a plan, in their fixed order, each as one of the
// catalogue's requests with its values, so that a plan sends byte for byte
// what the same commands (and the window's buttons) send:
//   1. the bus switch's network settings, when the plan has them (they set
//      the subnet every later request is routed to);
//   2. then module by module, in address order: light turn-on times, curtain
//      travel times (each by output), scenes (by number), input bindings (by
//      input).
#include <string>
#include <vector>

#include "protocol/command_catalogue.h"
#include "plan/site_plan.h"

namespace veltra::plan {

struct PlanStep {
  std::string item;  // what the request sets, in words
  const RequestSpec* spec = nullptr;
  RequestValues values;
};

std::vector<PlanStep> StepsOf(const Plan& plan);

// "module 3 (Stairs)", or "module 3" for a module without a name.
std::string ModuleLabel(const Module& module);

}  // namespace veltra::plan
