// What a site plan becomes in Home Assistant: the entities of each module
// (from its type, or from what the plan implies and the bus then tells),
// the discovery payloads with the keys Home Assistant requires, the topics,
// and the retained discovery that a module leaving the plan leaves behind.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>

#include "bridge/discovery.h"
#include "plan_text.h"
#include "bridge/site_model.h"
#include "bridge/topics.h"

namespace veltra::bridge {
namespace {

using nlohmann::json;

using test::PlanOf;

plan::Plan ExamplePlan() { return PlanOf(test::FileText(VELTRA_EXAMPLE_PLAN)); }

const Topics kTopics("home", "homeassistant");

TEST(SiteModel, TypedModulesHaveTheirOutputsAndModulesWithoutOutputsAreLeftOut) {
  const SiteModel model(ExamplePlan());
  ASSERT_EQ(model.Modules().size(), 3u);
  const SiteModule& hall = model.Modules()[0];
  EXPECT_EQ(hall.address, 1);
  EXPECT_EQ(hall.name, "Hall and stairs lights");
  EXPECT_EQ(hall.outputs, 8);
  EXPECT_EQ(hall.OutputKind(), EntityKind::Light);
  EXPECT_FALSE(hall.countFromStatus);
  EXPECT_EQ(model.Modules()[2].OutputKind(), EntityKind::Cover);
  EXPECT_EQ(model.Modules()[2].outputs, 4);
  ASSERT_EQ(model.Notes().size(), 2u);  // the infrared transmitter and the input module
  EXPECT_NE(model.Notes()[0].find("module 4"), std::string::npos);
  // Scene 1 is on modules 1 and 2, scene 2 on module 1.
  EXPECT_EQ(model.Scenes(), (std::map<int, std::vector<int>>{{1, {1, 2}}, {2, {1}}}));
  EXPECT_EQ(model.Entities().size(), 8u + 8u + 4u + 2u);
  EXPECT_TRUE(model.Has({EntityKind::Light, 2, 8}));
  EXPECT_FALSE(model.Has({EntityKind::Light, 2, 9}));
  EXPECT_FALSE(model.Has({EntityKind::Cover, 1, 1}));  // module 1 has lights
  EXPECT_FALSE(model.Has({EntityKind::Light, 4, 1}));
  EXPECT_FALSE(model.Has({EntityKind::Scene, 0, 3}));
}

TEST(SiteModel, UntypedModulesTakeWhatThePlanImpliesUntilTheBusTells) {
  SiteModel model(PlanOf(R"(
[[module]]
address = 6
turn_on_seconds = { 1 = 5, 3 = 10 }
[[module]]
address = 7
travel_tenths = { 2 = 100 }
[[module]]
address = 8
name = "Cellar"
[[module]]
address = 9
type = "0999"
)"));
  const auto outputs = [&](int address) { return model.Find(address)->outputs; };
  // Turn-on times: lights, as many as the plan names until a status read.
  EXPECT_EQ(model.Find(6)->OutputKind(), EntityKind::Light);
  EXPECT_EQ(outputs(6), 3);
  EXPECT_TRUE(model.Find(6)->PollsStatus());
  EXPECT_TRUE(model.LearnStatusCount(6, 8));
  EXPECT_EQ(outputs(6), 8);
  EXPECT_FALSE(model.LearnStatusCount(6, 4));  // only the first read counts
  // Travel times: curtains, at most the four a curtain request can name.
  EXPECT_EQ(model.Find(7)->OutputKind(), EntityKind::Cover);
  EXPECT_TRUE(model.LearnStatusCount(7, 8));
  EXPECT_EQ(outputs(7), 4);
  // Nothing in the plan (or an unknown type): nothing published until the
  // module's type is read.
  for (const int address : {8, 9}) {
    EXPECT_FALSE(model.Find(address)->family);
    EXPECT_EQ(outputs(address), 0);
    EXPECT_FALSE(model.Find(address)->PollsStatus());
  }
  EXPECT_EQ(model.Find(8)->name, "Cellar");
  EXPECT_EQ(model.Find(9)->name, "Module 9");
  EXPECT_FALSE(model.LearnType(8, "nonsense"));
  EXPECT_TRUE(model.LearnType(8, "0102"));
  EXPECT_EQ(model.Find(8)->OutputKind(), EntityKind::Cover);
  EXPECT_EQ(outputs(8), 2);
  EXPECT_FALSE(model.LearnType(8, "0208"));  // known now
  EXPECT_FALSE(model.LearnType(9, "0301"));  // an infrared transmitter: still nothing to publish
  EXPECT_TRUE(model.Find(9)->family);
  EXPECT_FALSE(model.Find(9)->PollsStatus());
}

TEST(Topics, CommandTopicsLeadBackToTheirEntityAndNothingElseDoes) {
  const SiteModel model(ExamplePlan());
  std::set<std::string> uniqueIds, discoveryTopics;
  for (const EntityRef& e : model.Entities()) {
    EXPECT_EQ(kTopics.ParseCommand(kTopics.Command(e)), e) << kTopics.Command(e);
    uniqueIds.insert(kTopics.UniqueId(e));
    discoveryTopics.insert(kTopics.Discovery(e));
  }
  EXPECT_EQ(uniqueIds.size(), model.Entities().size());
  EXPECT_EQ(discoveryTopics.size(), model.Entities().size());
  EXPECT_EQ(kTopics.Command({EntityKind::Cover, 3, 2}), "veltra/home/module/3/cover/2/set");
  EXPECT_EQ(kTopics.State({EntityKind::Cover, 3, 2}), "veltra/home/module/3/cover/2/state");
  EXPECT_EQ(kTopics.Command({EntityKind::Scene, 0, 7}), "veltra/home/scene/7/set");
  EXPECT_EQ(kTopics.Discovery({EntityKind::Light, 1, 5}), "homeassistant/light/veltra_home_m1/light_5/config");
  EXPECT_EQ(kTopics.Discovery({EntityKind::Scene, 0, 1}), "homeassistant/scene/veltra_home_bus/scene_1/config");
  for (const char* topic :
       {"veltra/home/module/1/light/1/state", "veltra/home2/module/1/light/1/set", "veltra/home/module/1/dimmer/1/set",
        "veltra/home/module/01/light/1/set", "veltra/home/module/1/light/+/set", "veltra/home/module/1/light/1/set/x",
        "veltra/home/module/1/light//set", "veltra/home/scene/one/set", "veltra/home/scene/1", "veltra/home/bridge/state"})
    EXPECT_FALSE(kTopics.ParseCommand(topic)) << topic;
}

// The keys Home Assistant needs of each component, and those every entity
// of this bridge has: identity, device, and availability of both the bridge
// and the module.
TEST(Discovery, PayloadsHoldWhatHomeAssistantRequires) {
  const SiteModel model(ExamplePlan());
  const auto messages = DiscoveryMessages(model, kTopics, "1.0");
  ASSERT_EQ(messages.size(), model.Entities().size());
  for (std::size_t i = 0; i < messages.size(); ++i) {
    const EntityRef e = model.Entities()[i];
    const json c = json::parse(messages[i].payload);
    SCOPED_TRACE(messages[i].topic);
    EXPECT_EQ(messages[i].topic, kTopics.Discovery(e));
    EXPECT_EQ(c.at("unique_id"), kTopics.UniqueId(e));
    EXPECT_EQ(c.at("command_topic"), kTopics.Command(e));
    EXPECT_TRUE(c.at("name").is_string());
    const json& device = c.at("device");
    EXPECT_TRUE(device.at("identifiers").is_array());
    EXPECT_EQ(c.at("availability_mode"), "all");
    std::vector<std::string> availability;
    for (const json& a : c.at("availability")) availability.push_back(a.at("topic"));
    EXPECT_EQ(c.at("payload_available"), "online");
    EXPECT_EQ(c.at("payload_not_available"), "offline");
    if (e.kind == EntityKind::Scene) {
      EXPECT_EQ(c.at("payload_on"), "ON");
      EXPECT_FALSE(c.contains("state_topic"));
      EXPECT_EQ(device.at("identifiers")[0], "veltra_home_bus");
      EXPECT_EQ(availability, std::vector<std::string>{"veltra/home/bridge/state"});
      continue;
    }
    const SiteModule& m = *model.Find(e.module);
    EXPECT_EQ(device.at("identifiers")[0], "veltra_home_m" + std::to_string(e.module));
    EXPECT_EQ(device.at("name"), m.name);
    EXPECT_EQ(device.at("via_device"), "veltra_home_bus");
    EXPECT_EQ(device.contains("sw_version"), m.version.has_value());
    EXPECT_EQ(availability, (std::vector<std::string>{"veltra/home/bridge/state",
                                                      "veltra/home/module/" + std::to_string(e.module) + "/availability"}));
    EXPECT_EQ(c.at("state_topic"), kTopics.State(e));
    if (e.kind == EntityKind::Light) {
      EXPECT_EQ(c.at("payload_on"), "ON");
      EXPECT_EQ(c.at("payload_off"), "OFF");
    } else {
      EXPECT_EQ(c.at("payload_open"), "OPEN");
      EXPECT_EQ(c.at("payload_close"), "CLOSE");
      EXPECT_EQ(c.at("payload_stop"), "STOP");
      EXPECT_EQ(c.at("state_open"), "open");
      EXPECT_EQ(c.at("state_closed"), "closed");
    }
  }
  const json hall = json::parse(messages[0].payload);
  EXPECT_EQ(hall.at("device").at("sw_version"), "Light-8 V1.0");
  EXPECT_EQ(hall.at("device").at("model"), "Light module, 8 outputs (0208)");
  // Another prefix moves only the discovery topics.
  const Topics other("home", "discovery/ha");
  EXPECT_EQ(DiscoveryMessages(model, other, "1.0")[0].topic, "discovery/ha/light/veltra_home_m1/light_1/config");
}

TEST(Discovery, WhatAModuleThatLeftThePlanLeftBehindIsCleared) {
  const SiteModel before(ExamplePlan());
  const SiteModel after(PlanOf("[[module]]\naddress = 1\ntype = \"0204\"\nname = \"Hall\"\n"));
  const auto stale = [&](const Message& m) { return StaleTopics(after, kTopics, m.topic, m.payload); };
  for (const Message& m : DiscoveryMessages(before, kTopics, "1.0")) {
    const auto entity = kTopics.ParseCommand(json::parse(m.payload).at("command_topic").get<std::string>());
    ASSERT_TRUE(entity);
    if (after.Has(*entity)) {
      EXPECT_TRUE(stale(m).empty()) << m.topic;
    } else if (entity->kind == EntityKind::Scene) {
      EXPECT_EQ(stale(m), std::vector<std::string>{m.topic});
    } else if (entity->module == 1) {  // outputs 5 to 8 of a module that has 4 now
      EXPECT_EQ(stale(m), (std::vector<std::string>{m.topic, kTopics.State(*entity)}));
    } else {  // a module no longer planned: its availability too
      EXPECT_EQ(stale(m), (std::vector<std::string>{m.topic, kTopics.State(*entity),
                                                    kTopics.ModuleAvailability(entity->module)}));
    }
  }
  // Cleared already, another site's, another program's, not JSON.
  const Message light = DiscoveryMessage(before, kTopics, {EntityKind::Light, 2, 1}, "1.0");
  EXPECT_TRUE(StaleTopics(after, kTopics, light.topic, "").empty());
  EXPECT_TRUE(StaleTopics(after, Topics("cottage", "homeassistant"), light.topic, light.payload).empty());
  EXPECT_TRUE(StaleTopics(after, kTopics, "homeassistant/light/lamp/config",
                          R"({"command_topic":"zigbee/lamp/set","unique_id":"lamp"})").empty());
  EXPECT_TRUE(StaleTopics(after, kTopics, light.topic, "{not json").empty());
  // A message under another topic than the entity's own is not the bridge's.
  EXPECT_TRUE(StaleTopics(after, kTopics, "homeassistant/light/copy/config", light.payload).empty());
}

}  // namespace
}  // namespace veltra::bridge
