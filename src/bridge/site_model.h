#pragma once
// What the bridge publishes of a site plan: the modules with outputs, each
// with its light or curtain outputs, and the plan's scenes. Pure.
//
// How many outputs of which kind a module has:
//  - a planned type names both ("0208": 8 light outputs, "0104": 4 curtains);
//  - without a type, turn-on times make it a light module and travel times a
//    curtain module, with the outputs the plan names up to the first status
//    read, whose status bytes then tell the count;
//  - with neither (or both, or a type no module has), the bridge reads the
//    module's type from the bus and publishes nothing of it until then.
// Infrared transmitters and input modules have no outputs to publish; a plan
// module known to be one is left out (Notes() says so).
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bridge/topics.h"
#include "plan/site_plan.h"
#include "protocol/module_types.h"

namespace veltra::bridge {

// "Light module", "Curtain module", "Infrared transmitter", "Input module",
// "Bus switch": a kind as the hub shows a device's model.
std::string_view KindTitle(ModuleKind kind);

struct SiteModule {
  int address = 0;
  std::string name;  // the plan's name, or "Module N"
  std::optional<std::string> type;  // as planned, or as the bus answered
  std::optional<std::string> version;
  std::optional<ModuleKind> family;  // empty until the bus tells
  int outputs = 0;                     // entities published
  bool countFromStatus = false;        // the first status read settles the count

  // Light or cover; meaningful when the family has outputs.
  EntityKind OutputKind() const;
  // Whether polls read the status (outputs) or the type (what the module is).
  bool PollsStatus() const { return family && TypeOf(*family).HasOutputs(); }
};

class SiteModel {
 public:
  SiteModel() = default;
  explicit SiteModel(const plan::Plan& plan);

  const std::vector<SiteModule>& Modules() const { return modules_; }
  const SiteModule* Find(int address) const;
  // Scene numbers of the plan, ascending, and the modules that hold each.
  const std::map<int, std::vector<int>>& Scenes() const { return scenes_; }
  // Modules of the plan left out, and why.
  const std::vector<std::string>& Notes() const { return notes_; }

  // Every entity, modules in address order, then scenes.
  std::vector<EntityRef> Entities() const;
  bool Has(const EntityRef& entity) const;

  // The module's type as the bus answered it; true when its entities change.
  bool LearnType(int address, const std::string& type);
  // The number of status bytes a status read gave; true when the entities change.
  bool LearnStatusCount(int address, int count);

 private:
  SiteModule* At(int address);

  std::vector<SiteModule> modules_;
  std::map<int, std::vector<int>> scenes_;
  std::vector<std::string> notes_;
};

}  // namespace veltra::bridge
