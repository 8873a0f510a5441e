#include "plan/plan_steps.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "protocol/input_commands.h"
#include "protocol/scene_commands.h"

namespace veltra::plan {
namespace {

PlanStep Step(std::string item, RequestId id, std::map<std::string, int> ints) {
  PlanStep step{std::move(item), &Request(id), {}};
  for (auto& [name, value] : ints) step.values.ints[name] = value;
  return step;
}

std::string Tenths(int tenths) {
  char text[32];
  std::snprintf(text, sizeof text, "%d.%d s", tenths / 10, tenths % 10);
  return text;
}

}  // namespace

std::string ModuleLabel(const Module& module) {
  std::string label = "module " + std::to_string(module.address);
  return module.name.empty() ? label : label + " (" + module.name + ")";
}

std::vector<PlanStep> StepsOf(const Plan& plan) {
  std::vector<PlanStep> steps;
  if (plan.busSwitch) {
    PlanStep step = Step("bus switch: network settings, subnet " + std::to_string(plan.subnet), RequestId::BusSwitchSet, {});
    step.values.record = RecordOf(plan.subnet, *plan.busSwitch);
    steps.push_back(std::move(step));
  }
  for (const Module& m : plan.modules) {
    const std::string label = ModuleLabel(m) + ": ";
    for (const OutputTime& t : m.turnOnSeconds)
      steps.push_back(Step(label + "light output " + std::to_string(t.output) + " turn-on time " +
                               std::to_string(t.value) + " s",
                           RequestId::LightSetOnTime, {{"ADDR", m.address}, {"OUTPUT", t.output}, {"SECONDS", t.value}}));
    for (const OutputTime& t : m.travelTenths)
      steps.push_back(Step(label + "curtain output " + std::to_string(t.output) + " travel time " + Tenths(t.value),
                           RequestId::CurtainSetTravelTime, {{"ADDR", m.address}, {"OUTPUT", t.output}, {"TENTHS", t.value}}));
    std::vector<const Scene*> scenes;
    for (const Scene& s : m.scenes) scenes.push_back(&s);
    std::sort(scenes.begin(), scenes.end(), [](auto* a, auto* b) { return a->number < b->number; });
    for (const Scene* s : scenes) {
      std::string codes;
      for (int item : s->channels) codes += ChannelCode(item);
      PlanStep step = Step(label + "scene " + std::to_string(s->number) + " = " + codes, RequestId::SetScene,
                           {{"ADDR", m.address}, {"SCENE", s->number}});
      step.values.channelItems = s->channels;
      steps.push_back(std::move(step));
    }
    std::vector<const Binding*> bindings;
    for (const Binding& b : m.bindings) bindings.push_back(&b);
    std::sort(bindings.begin(), bindings.end(), [](auto* a, auto* b) { return a->input < b->input; });
    for (const Binding* b : bindings) {
      const std::string function(InputFunctions()[static_cast<std::size_t>(b->function)].item);
      steps.push_back(Step(label + "input " + std::to_string(b->input) + " (" + (b->mode ? "switch" : "button") +
                               ") -> " + function + ", module " + std::to_string(b->target) + " output " +
                               std::to_string(b->output) + ", parameter " + std::to_string(b->parameter),
                           RequestId::BindInput,
                           {{"ADDR", m.address},
                            {"INPUT", b->input},
                            {"--mode", b->mode},
                            {"--function", b->function + 1},
                            {"--target", b->target},
                            {"--output", b->output},
                            {"--param", b->parameter}}));
    }
  }
  return steps;
}

}  // namespace veltra::plan
