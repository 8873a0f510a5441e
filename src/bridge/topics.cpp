#include "bridge/topics.h"

#include <charconv>

namespace veltra::bridge {
namespace {

// The parts of a topic between its slashes.
std::vector<std::string_view> Levels(std::string_view topic) {
  std::vector<std::string_view> levels;
  while (true) {
    const auto slash = topic.find('/');
    levels.push_back(topic.substr(0, slash));
    if (slash == std::string_view::npos) return levels;
    topic.remove_prefix(slash + 1);
  }
}

// A number written plainly: digits only, no sign or leading zero.
std::optional<int> Number(std::string_view text) {
  int value = 0;
  if (text.empty() || text.size() > 3 || (text.size() > 1 && text[0] == '0')) return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

std::string_view ComponentName(EntityKind kind) {
  switch (kind) {
    case EntityKind::Light: return "light";
    case EntityKind::Cover: return "cover";
    case EntityKind::Scene: return "scene";
  }
  return "";
}

Topics::Topics(std::string site, std::string discoveryPrefix)
    : site_(std::move(site)), prefix_(std::move(discoveryPrefix)), base_("veltra/" + site_ + "/") {}

std::string Topics::BridgeState() const { return base_ + "bridge/state"; }
std::string Topics::BridgeError() const { return base_ + "bridge/error"; }
std::string Topics::ModuleAvailability(int module) const {
  return base_ + "module/" + std::to_string(module) + "/availability";
}

std::string Topics::Command(const EntityRef& e) const {
  if (e.kind == EntityKind::Scene) return base_ + "scene/" + std::to_string(e.number) + "/set";
  return base_ + "module/" + std::to_string(e.module) + "/" + std::string(ComponentName(e.kind)) + "/" +
         std::to_string(e.number) + "/set";
}

std::string Topics::State(const EntityRef& e) const {
  if (e.kind == EntityKind::Scene) return {};
  std::string topic = Command(e);
  return topic.replace(topic.size() - 3, 3, "state");
}

std::string Topics::Discovery(const EntityRef& e) const {
  const std::string node = e.kind == EntityKind::Scene ? BusDeviceId() : ModuleDeviceId(e.module);
  const std::string component(ComponentName(e.kind));
  return prefix_ + "/" + component + "/" + node + "/" + component + "_" + std::to_string(e.number) + "/config";
}

std::string Topics::HomeAssistantStatus() const { return prefix_ + "/status"; }

std::string Topics::ModuleDeviceId(int module) const { return "veltra_" + site_ + "_m" + std::to_string(module); }
std::string Topics::BusDeviceId() const { return "veltra_" + site_ + "_bus"; }

std::string Topics::UniqueId(const EntityRef& e) const {
  const std::string node = e.kind == EntityKind::Scene ? BusDeviceId() : ModuleDeviceId(e.module);
  return node + "_" + std::string(ComponentName(e.kind)) + "_" + std::to_string(e.number);
}

std::vector<std::string> Topics::CommandFilters() const {
  return {base_ + "module/+/+/+/set", base_ + "scene/+/set"};
}

std::string Topics::DiscoveryFilter() const { return prefix_ + "/+/+/+/config"; }

std::optional<EntityRef> Topics::ParseCommand(std::string_view topic) const {
  if (!topic.starts_with(base_)) return std::nullopt;
  const auto levels = Levels(topic.substr(base_.size()));
  if (levels.size() == 3 && levels[0] == "scene" && levels[2] == "set") {
    if (const auto n = Number(levels[1])) return EntityRef{EntityKind::Scene, 0, *n};
    return std::nullopt;
  }
  if (levels.size() != 5 || levels[0] != "module" || levels[4] != "set") return std::nullopt;
  const auto module = Number(levels[1]);
  const auto output = Number(levels[3]);
  if (!module || !output) return std::nullopt;
  for (const EntityKind kind : {EntityKind::Light, EntityKind::Cover})
    if (levels[2] == ComponentName(kind)) return EntityRef{kind, *module, *output};
  return std::nullopt;
}

}  // namespace veltra::bridge
