#pragma once
// Home Assistant's MQTT discovery messages for a site (openHAB reads the
// same): one device per module, named and identified from the plan, with a
// light entity (on/off) per light output and a cover entity (open/close/
// stop) per curtain output; the scenes are entities of the bus's own device.
// Every entity is available when both the bridge and its module are. Pure.
#include <string>
#include <string_view>
#include <vector>

#include "bridge/site_model.h"
#include "bridge/topics.h"

namespace veltra::bridge {

struct Message {
  std::string topic;
  std::string payload;
};

// The configuration message of one entity of the model (retained).
Message DiscoveryMessage(const SiteModel& model, const Topics& topics, const EntityRef& entity,
                         std::string_view version);
// Those of every entity of the model.
std::vector<Message> DiscoveryMessages(const SiteModel& model, const Topics& topics, std::string_view version);

// A retained discovery message that is this site's and names an entity the
// model no longer has: the topics to clear (the message itself, and the
// entity's state topic, and the availability of a module that left the
// plan). Empty when the message is not stale, not ours, or
// already cleared (an empty payload).
std::vector<std::string> StaleTopics(const SiteModel& model, const Topics& topics, std::string_view topic,
                                     std::string_view payload);

}  // namespace veltra::bridge
