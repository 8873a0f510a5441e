// [[test]] tables: the steps of "plan test", each checked against the plan
// it tests: the module must be planned, its output must exist, a scene must
// be one of the plan's, an input must be bound in the plan.
#include "plan/test_tables.h"

#include <algorithm>
#include <cmath>

#include "protocol/scene_commands.h"

namespace veltra::plan {
namespace {

constexpr double kMaxWithinSeconds = 600;

class TestReader {
 public:
  TestReader(std::string_view file, const Plan& plan, std::vector<Error>& errors)
      : file_(file), plan_(plan), errors_(errors) {}

  void Fail(const toml::node& node, const std::string& message) { Fail(node.source(), message); }
  void Fail(const toml::source_region& where, const std::string& message) {
    errors_.push_back({std::string(file_), static_cast<int>(where.begin.line), static_cast<int>(where.begin.column),
                       message});
  }

  std::optional<TestStep> Read(const toml::table& t) {
    const std::size_t before = errors_.size();
    for (const auto& [key, value] : t) {
      static constexpr std::string_view kKeys[] = {"kind",   "name",  "module", "output", "action",
                                                   "expect", "scene", "input",  "within"};
      if (std::find(std::begin(kKeys), std::end(kKeys), key.str()) == std::end(kKeys))
        Fail(key.source(), "unknown key '" + std::string(key.str()) + "' in [[test]]");
    }
    TestStep step;
    step.line = static_cast<int>(t.source().begin.line);
    const toml::node* kind = t.get("kind");
    const std::string kindText = kind && kind->is_string() ? kind->as_string()->get() : "";
    if (!kind) {
      Fail(t, "missing kind (switch, scene, input or identify)");
      return std::nullopt;
    }
    if (kindText == "switch") {
      step.kind = TestStep::Kind::Switch;
    } else if (kindText == "scene") {
      step.kind = TestStep::Kind::Scene;
    } else if (kindText == "input") {
      step.kind = TestStep::Kind::Input;
    } else if (kindText == "identify") {
      step.kind = TestStep::Kind::Identify;
    } else {
      Fail(*kind, "kind is switch, scene, input or identify, not " + Shown(*kind));
      return std::nullopt;
    }
    if (const toml::node* name = t.get("name")) {
      if (name->is_string())
        step.name = name->as_string()->get();
      else
        Fail(*name, "name must be a string in quotes");
    }
    Only(t, step.kind);
    switch (step.kind) {
      case TestStep::Kind::Switch: ReadSwitch(t, step); break;
      case TestStep::Kind::Scene: ReadScene(t, step); break;
      case TestStep::Kind::Input: ReadInput(t, step); break;
      case TestStep::Kind::Identify: PlannedModule(t, step); break;
    }
    step.withinMs = Within(t);
    if (errors_.size() != before) return std::nullopt;
    return step;
  }

 private:
  static std::string Shown(const toml::node& node) {
    if (const auto* text = node.as_string()) return "\"" + text->get() + "\"";
    return "a " + std::string(node.is_integer() ? "number" : "value of another kind");
  }

  // Keys that belong to other kinds of step are mistakes here.
  void Only(const toml::table& t, TestStep::Kind kind) {
    struct Use {
      std::string_view key;
      bool switchStep, sceneStep, inputStep, identifyStep;
    };
    static constexpr Use kUses[] = {
        {"module", true, false, true, true}, {"output", true, false, false, false},
        {"action", true, false, false, false}, {"expect", true, false, false, false},
        {"scene", false, true, false, false}, {"input", false, false, true, false},
        {"within", true, true, true, false},
    };
    for (const Use& use : kUses) {
      const toml::node* node = t.get(use.key);
      if (!node) continue;
      const bool allowed = (kind == TestStep::Kind::Switch && use.switchStep) ||
                           (kind == TestStep::Kind::Scene && use.sceneStep) ||
                           (kind == TestStep::Kind::Input && use.inputStep) ||
                           (kind == TestStep::Kind::Identify && use.identifyStep);
      if (allowed) continue;
      // Appended piece by piece: GCC's -O3 sees a false overlap in "'" + string.
      std::string message(1, '\'');
      message.append(use.key).append("' has no meaning in a ").append(KindName(kind)).append(" step");
      Fail(*node, message);
    }
  }

  std::optional<int> Int(const toml::table& t, std::string_view key, int min, int max, const std::string& what) {
    const toml::node* node = t.get(key);
    if (!node) {
      Fail(t, "missing " + std::string(key) + " (" + what + ")");
      return std::nullopt;
    }
    const auto value = node->value_exact<std::int64_t>();
    if (!value) {
      Fail(*node, what + " must be a whole number");
      return std::nullopt;
    }
    if (*value < min || *value > max) {
      Fail(*node, what + " " + std::to_string(*value) + " is out of range (" + std::to_string(min) + "-" +
                      std::to_string(max) + ")");
      return std::nullopt;
    }
    return static_cast<int>(*value);
  }

  const Module* PlannedModule(const toml::table& t, TestStep& step) {
    const auto address = Int(t, "module", kMinModule, kMaxModule, "module address");
    if (!address) return nullptr;
    step.module = *address;
    const Module* module = FindModule(plan_, *address);
    if (!module) Fail(*t.get("module"), "module " + std::to_string(*address) + " is not in the plan");
    return module;
  }

  void ReadSwitch(const toml::table& t, TestStep& step) {
    const Module* module = PlannedModule(t, step);
    // Two plain flags rather than an optional: GCC at -O1 (the thread
    // sanitizer's tree) takes the optional's value for unset.
    const std::optional<bool> switches = module ? SwitchesLights(*module) : std::nullopt;
    const bool known = switches.has_value();
    const bool lights = switches.value_or(true);
    const int outputs = known && !lights ? kCurtainOutputs : kLightOutputs;
    if (const auto output = Int(t, "output", 1, outputs, "output")) step.output = *output;
    const toml::node* action = t.get("action");
    if (!action) {
      Fail(t, "missing action (on or off for lights; open, close or stop for curtains)");
    } else {
      const std::string text = action->is_string() ? action->as_string()->get() : "";
      static constexpr std::pair<std::string_view, TestStep::Action> kActions[] = {
          {"on", TestStep::Action::On},       {"off", TestStep::Action::Off},   {"open", TestStep::Action::Open},
          {"close", TestStep::Action::Close}, {"stop", TestStep::Action::Stop},
      };
      const auto* found = std::find_if(std::begin(kActions), std::end(kActions),
                                       [&](const auto& a) { return a.first == text; });
      if (found == std::end(kActions)) {
        Fail(*action, "action is on, off, open, close or stop, not " + Shown(*action));
      } else {
        step.action = found->second;
        const bool lightAction = step.action == TestStep::Action::On || step.action == TestStep::Action::Off;
        if (known && lights != lightAction)
          Fail(*action, "module " + std::to_string(step.module) + " switches " + (lights ? "lights" : "curtains") +
                            ": its actions are " + (lights ? "on and off" : "open, close and stop"));
      }
    }
    if (const toml::node* expect = t.get("expect")) {
      const std::string codes = expect->is_string() ? expect->as_string()->get() : "";
      if (!expect->is_string()) Fail(*expect, "expect is a string of codes 0, 1 or X, one per output");
      for (char c : codes) {
        if (c == ' ') continue;
        try {
          step.expect.push_back(ParseChannelCode(std::string(1, c)));
        } catch (const std::invalid_argument&) {
          Fail(*expect, std::string("an expected output is 0, 1 or X, not '") + c + "'");
          return;
        }
      }
      if (expect->is_string() && (step.expect.empty() || static_cast<int>(step.expect.size()) > outputs))
        Fail(*expect, "expect has 1 to " + std::to_string(outputs) + " codes, one per output; this one has " +
                          std::to_string(step.expect.size()));
    }
  }

  void ReadScene(const toml::table& t, TestStep& step) {
    const auto scene = Int(t, "scene", 0, kMaxScene, "scene number");
    if (!scene) return;
    step.scene = *scene;
    const bool planned = std::any_of(plan_.modules.begin(), plan_.modules.end(), [&](const Module& m) {
      return std::any_of(m.scenes.begin(), m.scenes.end(), [&](const Scene& s) { return s.number == *scene; });
    });
    if (!planned) Fail(*t.get("scene"), "scene " + std::to_string(*scene) + " is in no module of the plan");
  }

  void ReadInput(const toml::table& t, TestStep& step) {
    const Module* module = PlannedModule(t, step);
    const auto input = Int(t, "input", 1, kMaxInput, "input number");
    if (!module || !input) return;
    step.input = *input;
    const bool bound = std::any_of(module->bindings.begin(), module->bindings.end(),
                                   [&](const Binding& b) { return b.input == *input; });
    if (!bound)
      Fail(*t.get("input"), "input " + std::to_string(*input) + " of module " + std::to_string(step.module) +
                                " is not bound in the plan: nothing to expect from it");
  }

  int Within(const toml::table& t) {
    const toml::node* node = t.get("within");
    if (!node) return 0;
    const auto seconds = node->value<double>();
    if (!seconds || !(node->is_integer() || node->is_floating_point())) {
      Fail(*node, "within is a time in seconds, e.g. 2 or 0.5");
      return 0;
    }
    if (!(*seconds > 0) || *seconds > kMaxWithinSeconds) {
      Fail(*node, "within must be above 0 and at most 600 seconds");
      return 0;
    }
    return static_cast<int>(std::lround(*seconds * 1000));
  }

  std::string_view file_;
  const Plan& plan_;
  std::vector<Error>& errors_;
};

}  // namespace

std::optional<bool> SwitchesLights(const Module& module) {
  if (module.type && module.type->size() == 4) {
    if (module.type->starts_with("02")) return true;
    if (module.type->starts_with("01")) return false;
  }
  if (!module.turnOnSeconds.empty()) return true;
  if (!module.travelTenths.empty()) return false;
  return std::nullopt;
}

void ReadTestTables(const toml::table& root, std::string_view file, Plan& plan, std::vector<Error>& errors) {
  const toml::node* node = root.get("test");
  if (!node) return;
  TestReader reader(file, plan, errors);
  const toml::array* list = node->as_array();
  if (!list || !list->is_array_of_tables()) {
    reader.Fail(*node, "test must be a list of tables: [[test]]");
    return;
  }
  for (const toml::node& item : *list)
    if (auto step = reader.Read(*item.as_table())) plan.tests.push_back(std::move(*step));
}

const Module* FindModule(const Plan& plan, int address) {
  for (const Module& m : plan.modules)
    if (m.address == address) return &m;
  return nullptr;
}

TestsResult ParseTests(std::string_view text, std::string_view fileName, const Plan& plan) {
  TestsResult result;
  toml::table root;
  std::vector<Error> errors;
  try {
    root = toml::parse(text, fileName);
  } catch (const toml::parse_error& error) {
    const auto& where = error.source();
    result.errors.push_back({std::string(fileName), static_cast<int>(where.begin.line),
                             static_cast<int>(where.begin.column), std::string(error.description())});
    return result;
  }
  for (const auto& [key, value] : root)
    if (key.str() != "test")
      errors.push_back({std::string(fileName), static_cast<int>(key.source().begin.line),
                        static_cast<int>(key.source().begin.column),
                        "unknown key '" + std::string(key.str()) + "' in a file of tests: it holds [[test]] tables only"});
  Plan tested = plan;
  tested.tests.clear();
  ReadTestTables(root, fileName, tested, errors);
  std::stable_sort(errors.begin(), errors.end(), [](const Error& a, const Error& b) {
    return std::tie(a.line, a.column) < std::tie(b.line, b.column);
  });
  result.errors = std::move(errors);
  if (result.errors.empty()) result.tests = std::move(tested.tests);
  return result;
}

std::string_view KindName(TestStep::Kind kind) {
  switch (kind) {
    case TestStep::Kind::Switch: return "switch";
    case TestStep::Kind::Scene: return "scene";
    case TestStep::Kind::Input: return "input";
    case TestStep::Kind::Identify: return "identify";
  }
  return {};
}

}  // namespace veltra::plan
