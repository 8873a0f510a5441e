#include "bridge/discovery.h"

#include <nlohmann/json.hpp>

namespace veltra::bridge {
namespace {

using nlohmann::json;

constexpr std::string_view kManufacturer = "Veltra";

json Availability(const Topics& topics, int module) {
  json list = json::array();
  list.push_back({{"topic", topics.BridgeState()}});
  if (module != 0) list.push_back({{"topic", topics.ModuleAvailability(module)}});
  return list;
}

json BusDevice(const Topics& topics, std::string_view version) {
  return {{"identifiers", json::array({topics.BusDeviceId()})},
          {"name", "Veltra bus " + topics.Site()},
          {"manufacturer", kManufacturer},
          {"model", "veltra-bridge"},
          {"sw_version", version}};
}

json ModuleDevice(const Topics& topics, const SiteModule& m) {
  std::string model = std::string(KindTitle(m.family.value_or(ModuleKind::Light))) + ", " +
                      std::to_string(m.outputs) + " outputs";
  if (m.type) model += " (" + *m.type + ")";
  json device{{"identifiers", json::array({topics.ModuleDeviceId(m.address)})},
              {"name", m.name},
              {"manufacturer", kManufacturer},
              {"model", model},
              {"via_device", topics.BusDeviceId()}};
  if (m.version) device["sw_version"] = *m.version;
  return device;
}

}  // namespace

Message DiscoveryMessage(const SiteModel& model, const Topics& topics, const EntityRef& e, std::string_view version) {
  json config{{"unique_id", topics.UniqueId(e)},
              {"command_topic", topics.Command(e)},
              {"availability", Availability(topics, e.module)},
              {"availability_mode", "all"},
              {"payload_available", kOnline},
              {"payload_not_available", kOffline},
              {"qos", 1},
              {"origin", {{"name", "veltra-bridge"}, {"sw_version", version}}}};
  switch (e.kind) {
    case EntityKind::Light:
      config["name"] = "Output " + std::to_string(e.number);
      config["state_topic"] = topics.State(e);
      config["payload_on"] = "ON";
      config["payload_off"] = "OFF";
      config["optimistic"] = false;
      break;
    case EntityKind::Cover:
      config["name"] = "Curtain " + std::to_string(e.number);
      config["device_class"] = "curtain";
      config["state_topic"] = topics.State(e);
      config["payload_open"] = "OPEN";
      config["payload_close"] = "CLOSE";
      config["payload_stop"] = "STOP";
      config["state_open"] = "open";
      config["state_closed"] = "closed";
      config["optimistic"] = false;
      break;
    case EntityKind::Scene:
      config["name"] = "Scene " + std::to_string(e.number);
      config["payload_on"] = "ON";
      break;
  }
  if (e.kind == EntityKind::Scene) {
    config["device"] = BusDevice(topics, version);
  } else if (const SiteModule* m = model.Find(e.module)) {
    config["device"] = ModuleDevice(topics, *m);
  }
  return {topics.Discovery(e), config.dump()};
}

std::vector<Message> DiscoveryMessages(const SiteModel& model, const Topics& topics, std::string_view version) {
  std::vector<Message> messages;
  for (const EntityRef& e : model.Entities()) messages.push_back(DiscoveryMessage(model, topics, e, version));
  return messages;
}

std::vector<std::string> StaleTopics(const SiteModel& model, const Topics& topics, std::string_view topic,
                                     std::string_view payload) {
  // Only the site's own devices' topics are worth reading (a broker may
  // hold the discovery of many other programs).
  if (payload.empty() || topic.find("/veltra_" + topics.Site() + "_") == std::string_view::npos) return {};
  const json config = json::parse(payload, nullptr, false);
  if (!config.is_object()) return {};
  const auto text = [&](const char* key) {
    const auto it = config.find(key);
    return it != config.end() && it->is_string() ? it->get<std::string>() : std::string();
  };
  // Ours: its command topic is one of this site's, and its topic is the one
  // the bridge would give that entity.
  const std::string command = text("command_topic");
  const auto entity = topics.ParseCommand(command);
  if (!entity || topics.Discovery(*entity) != topic || model.Has(*entity)) return {};
  std::vector<std::string> stale{std::string(topic)};
  if (const std::string state = topics.State(*entity); !state.empty()) stale.push_back(state);
  if (entity->module != 0 && !model.Find(entity->module)) stale.push_back(topics.ModuleAvailability(entity->module));
  return stale;
}

}  // namespace veltra::bridge
