#pragma once
// The bridge's MQTT topics: where each entity takes commands and tells its
// state, where availability is told, and where Home Assistant's discovery
// finds the entities. Every topic of a site lives under veltra/<site>/.
//
//   veltra/<site>/bridge/state                      online | offline (retained, last will)
//   veltra/<site>/bridge/error                      a refused or failed command (JSON)
//   veltra/<site>/module/<addr>/availability        online | offline (retained)
//   veltra/<site>/module/<addr>/light/<n>/set       ON | OFF
//   veltra/<site>/module/<addr>/light/<n>/state     ON | OFF (retained)
//   veltra/<site>/module/<addr>/cover/<n>/set       OPEN | CLOSE | STOP
//   veltra/<site>/module/<addr>/cover/<n>/state     open | closed (retained)
//   veltra/<site>/scene/<n>/set                     ON
//   <prefix>/<component>/veltra_<site>_m<addr>/<object>/config   discovery
//   <prefix>/scene/veltra_<site>_bus/scene_<n>/config
//   <prefix>/status                                 Home Assistant's own online | offline
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltra::bridge {

enum class EntityKind { Light, Cover, Scene };

// One entity: a light or curtain output of a module (output from 1), or a
// scene of the site (module 0, number the scene's).
struct EntityRef {
  EntityKind kind = EntityKind::Light;
  int module = 0;
  int number = 0;
  friend bool operator==(const EntityRef&, const EntityRef&) = default;
};

// "light", "cover", "scene": Home Assistant's component, also used in topics.
std::string_view ComponentName(EntityKind kind);

inline constexpr std::string_view kOnline = "online";
inline constexpr std::string_view kOffline = "offline";

class Topics {
 public:
  Topics(std::string site, std::string discoveryPrefix);

  const std::string& Site() const { return site_; }
  // veltra/<site>/
  const std::string& Base() const { return base_; }

  std::string BridgeState() const;
  std::string BridgeError() const;
  std::string ModuleAvailability(int module) const;
  std::string Command(const EntityRef& entity) const;
  std::string State(const EntityRef& entity) const;  // scenes have none: empty
  std::string Discovery(const EntityRef& entity) const;
  std::string HomeAssistantStatus() const;

  // Identifiers in Home Assistant: of a module's device, of the bus's own
  // device (the bridge, which holds the scenes), of an entity.
  std::string ModuleDeviceId(int module) const;
  std::string BusDeviceId() const;
  std::string UniqueId(const EntityRef& entity) const;

  // What the bridge subscribes to: every entity's command topic, and every
  // discovery message (to find those a module that left the plan still has).
  std::vector<std::string> CommandFilters() const;
  std::string DiscoveryFilter() const;

  // The entity whose command topic this is.
  std::optional<EntityRef> ParseCommand(std::string_view topic) const;

 private:
  std::string site_, prefix_, base_;
};

}  // namespace veltra::bridge
