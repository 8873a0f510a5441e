#include "bridge/site_model.h"

#include <algorithm>
#include <utility>

namespace veltra::bridge {
namespace {

// The outputs a request can name: the command catalogue's ranges.
int MaxOutputs(ModuleKind family) {
  return family == ModuleKind::Curtain ? plan::kCurtainOutputs : plan::kLightOutputs;
}

int Highest(const std::vector<plan::OutputTime>& times) {
  int highest = 0;
  for (const auto& t : times) highest = std::max(highest, t.output);
  return highest;
}

// Family and count from what the module's type says.
void Apply(SiteModule& m, const ModuleType& info) {
  m.family = info.kind;
  m.outputs = info.HasOutputs() ? std::min(info.channels, MaxOutputs(info.kind)) : 0;
  m.countFromStatus = false;
}

}  // namespace

std::string_view KindTitle(ModuleKind kind) {
  switch (kind) {
    case ModuleKind::Light: return "Light module";
    case ModuleKind::Curtain: return "Curtain module";
    case ModuleKind::Infrared: return "Infrared transmitter";
    case ModuleKind::Input: return "Input module";
    case ModuleKind::BusSwitch: return "Bus switch";
  }
  return {};
}

EntityKind SiteModule::OutputKind() const {
  return family == ModuleKind::Curtain ? EntityKind::Cover : EntityKind::Light;
}

SiteModel::SiteModel(const plan::Plan& plan) {
  for (const plan::Module& p : plan.modules) {
    SiteModule m;
    m.address = p.address;
    m.name = p.name.empty() ? "Module " + std::to_string(p.address) : p.name;
    m.type = p.type;
    m.version = p.version;
    const auto info = p.type ? ParseModuleType(*p.type) : std::nullopt;
    const bool lights = !p.turnOnSeconds.empty(), curtains = !p.travelTenths.empty();
    if (info) {
      if (!info->HasOutputs()) {
        notes_.push_back("module " + std::to_string(p.address) + " (" + m.name + ") is an " +
                         std::string(KindTitle(info->kind)) + " without outputs: not published");
        continue;
      }
      Apply(m, *info);
    } else if (lights != curtains) {
      m.family = lights ? ModuleKind::Light : ModuleKind::Curtain;
      m.outputs = Highest(lights ? p.turnOnSeconds : p.travelTenths);
      m.countFromStatus = true;
    }
    modules_.push_back(std::move(m));
    for (const plan::Scene& s : p.scenes) scenes_[s.number].push_back(p.address);
  }
}

const SiteModule* SiteModel::Find(int address) const {
  for (const SiteModule& m : modules_)
    if (m.address == address) return &m;
  return nullptr;
}

SiteModule* SiteModel::At(int address) { return const_cast<SiteModule*>(std::as_const(*this).Find(address)); }

std::vector<EntityRef> SiteModel::Entities() const {
  std::vector<EntityRef> entities;
  for (const SiteModule& m : modules_)
    for (int n = 1; n <= m.outputs; ++n) entities.push_back({m.OutputKind(), m.address, n});
  for (const auto& [number, holders] : scenes_) entities.push_back({EntityKind::Scene, 0, number});
  return entities;
}

bool SiteModel::Has(const EntityRef& e) const {
  if (e.kind == EntityKind::Scene) return scenes_.count(e.number) > 0;
  const SiteModule* m = Find(e.module);
  return m && m->outputs > 0 && e.kind == m->OutputKind() && e.number >= 1 && e.number <= m->outputs;
}

bool SiteModel::LearnType(int address, const std::string& type) {
  SiteModule* m = At(address);
  const auto info = ParseModuleType(type);
  if (!m || !info || m->family) return false;
  m->type = type;
  Apply(*m, *info);
  return m->outputs > 0;
}

bool SiteModel::LearnStatusCount(int address, int count) {
  SiteModule* m = At(address);
  if (!m || !m->countFromStatus || !m->family) return false;
  m->countFromStatus = false;
  const int outputs = std::clamp(count, 0, MaxOutputs(*m->family));
  if (outputs == m->outputs) return false;
  m->outputs = outputs;
  return true;
}

}  // namespace veltra::bridge
