// Reads a plan's TOML and checks every value against the window's ranges.
// The checks go on after the first problem, so that one run names them all.
#include <toml++/toml.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <tuple>

#include "plan/site_plan.h"
#include "plan/test_tables.h"
#include "protocol/address_text.h"
#include "protocol/input_commands.h"
#include "protocol/module_types.h"
#include "protocol/scene_commands.h"

namespace veltra::plan {
namespace {

class Reader {
 public:
  explicit Reader(std::string_view file) : file_(file) {}

  Plan Read(const toml::table& root) {
    Plan plan;
    Known(root, {"site", "subnet", "bus_switch", "module", "test"}, "the plan");
    plan.site = String(root, "site", false, "the site's name").value_or("");
    plan.subnet = Int(root, "subnet", 0, 65535, "the subnet", 1);
    if (const toml::node* node = root.get("bus_switch")) {
      if (const toml::table* t = node->as_table())
        plan.busSwitch = ReadBusSwitch(*t);
      else
        Fail(*node, "bus_switch must be a table: [bus_switch]");
    }
    if (const toml::node* node = root.get("module")) {
      const toml::array* modules = node->as_array();
      if (!modules || !modules->is_array_of_tables()) {
        Fail(*node, "module must be a list of tables: [[module]]");
      } else {
        std::map<int, const toml::node*> seen;
        for (const toml::node& m : *modules) {
          Module module = ReadModule(*m.as_table());
          if (module.address == 0) continue;
          if (!seen.emplace(module.address, &m).second) {
            Fail(m, "module address " + std::to_string(module.address) + " is given twice (first at line " +
                        std::to_string(seen[module.address]->source().begin.line) + ")");
            continue;
          }
          plan.modules.push_back(std::move(module));
        }
        std::sort(plan.modules.begin(), plan.modules.end(),
                  [](const Module& a, const Module& b) { return a.address < b.address; });
      }
    }
    CheckTargets(plan);
    // Test steps name modules, scenes and inputs: read once those are known.
    ReadTestTables(root, file_, plan, errors);
    return plan;
  }

  std::vector<Error> errors;

  void Fail(const toml::source_region& where, const std::string& message) {
    errors.push_back({std::string(file_), static_cast<int>(where.begin.line), static_cast<int>(where.begin.column),
                      message});
  }
  void Fail(const toml::node& node, const std::string& message) { Fail(node.source(), message); }

 private:
  // Where a binding's target and output stand in the file, for the checks
  // that need every module's type.
  struct TargetPlace {
    int function = 0;
    int target = 0, output = 0;
    toml::source_region targetAt, outputAt;
  };
  std::vector<TargetPlace> targets_;

  // A binding that switches one output of a planned module whose type is
  // given must suit that module: a light function on a light module, and an
  // output it has.
  void CheckTargets(const Plan& plan) {
    for (const TargetPlace& place : targets_) {
      const InputFunction& fn = InputFunctions()[static_cast<std::size_t>(place.function)];
      if (fn.target != InputFunction::Target::OneOutput) continue;
      const auto module = std::find_if(plan.modules.begin(), plan.modules.end(),
                                       [&](const Module& m) { return m.address == place.target; });
      if (module == plan.modules.end() || !module->type) continue;
      const std::optional<ModuleType> type = ParseModuleType(*module->type);
      if (!type) continue;
      if (type->OutputClass() != fn.targetClass) {
        Fail(place.targetAt, "module " + std::to_string(place.target) + " is " + Article(*type) + " (type " +
                                 type->Code() + "): \"" + std::string(fn.item) + "\" cannot act on it");
      } else if (place.output > type->channels) {
        Fail(place.outputAt, "output " + std::to_string(place.output) + " is not on module " +
                                 std::to_string(place.target) + ": " + Typed(*type));
      }
    }
  }

  // "type 0204 is a light module with 4 outputs"
  static std::string Typed(const ModuleType& type) { return "type " + type.Code() + " is " + Article(type); }
  // "a light module with 4 outputs", "an input module with 8 inputs"
  static std::string Article(const ModuleType& type) {
    const std::string name = type.Name();
    return (std::string("aeiou").find(name.front()) == std::string::npos ? "a " : "an ") + name;
  }

  static toml::source_region KeyAt(const toml::table& table, std::string_view key) {
    for (const auto& [name, value] : table)
      if (name.str() == key) return name.source();
    return table.source();
  }

  // Keys a table may hold; anything else is most likely a typing error.
  void Known(const toml::table& table, std::initializer_list<std::string_view> keys, const std::string& what) {
    for (const auto& [key, value] : table) {
      if (std::find(keys.begin(), keys.end(), key.str()) == keys.end())
        Fail(key.source(), "unknown key '" + std::string(key.str()) + "' in " + what);
    }
  }

  // An integer in [min, max]; fallback when it is missing and not required
  // (no fallback: required).
  int Int(const toml::table& table, std::string_view key, int min, int max, const std::string& what,
          std::optional<int> fallback = std::nullopt) {
    const toml::node* node = table.get(key);
    if (!node) {
      if (!fallback) Fail(table, "missing " + std::string(key) + " (" + what + ")");
      return fallback.value_or(min);
    }
    return Ranged(*node, min, max, what).value_or(fallback.value_or(min));
  }

  std::optional<int> Ranged(const toml::node& node, int min, int max, const std::string& what) {
    const auto value = node.value_exact<std::int64_t>();
    if (!value) {
      Fail(node, what + " must be a whole number");
      return std::nullopt;
    }
    if (*value < min || *value > max) {
      Fail(node, what + " " + std::to_string(*value) + " is out of range (" + std::to_string(min) + "-" +
                     std::to_string(max) + ")");
      return std::nullopt;
    }
    return static_cast<int>(*value);
  }

  std::optional<std::string> String(const toml::table& table, std::string_view key, bool required,
                                    const std::string& what) {
    const toml::node* node = table.get(key);
    if (!node) {
      if (required) Fail(table, "missing " + std::string(key) + " (" + what + ")");
      return std::nullopt;
    }
    if (!node->is_string()) {
      Fail(*node, what + " must be a string in quotes");
      return std::nullopt;
    }
    return node->as_string()->get();
  }

  // A text value turned into something by parse, which throws
  // std::invalid_argument with the reason.
  template <typename T, typename Parse>
  T Parsed(const toml::table& table, std::string_view key, const std::string& what, Parse parse) {
    const auto text = String(table, key, true, what);
    if (!text) return T{};
    try {
      return parse(*text);
    } catch (const std::invalid_argument& error) {
      Fail(*table.get(key), what + ": " + error.what());
      return T{};
    }
  }

  BusSwitch ReadBusSwitch(const toml::table& t) {
    Known(t, {"ip", "port", "mask", "gateway", "server_ip", "server_port", "mac"}, "[bus_switch]");
    BusSwitch b;
    b.ip = Parsed<std::array<std::uint8_t, 4>>(t, "ip", "the bus switch's IP address", ParseIpv4);
    b.port = Int(t, "port", 0, 65535, "the bus switch's port");
    b.mask = Parsed<std::array<std::uint8_t, 4>>(t, "mask", "the subnet mask", ParseIpv4);
    b.gateway = Parsed<std::array<std::uint8_t, 4>>(t, "gateway", "the gateway", ParseIpv4);
    b.serverIp = Parsed<std::array<std::uint8_t, 4>>(t, "server_ip", "the server's IP address", ParseIpv4);
    b.serverPort = Int(t, "server_port", 0, 65535, "the server's port");
    b.mac = Parsed<std::array<std::uint8_t, 6>>(t, "mac", "the MAC address", ParseMac);
    return b;
  }

  Module ReadModule(const toml::table& t) {
    Known(t, {"address", "type", "version", "name", "turn_on_seconds", "travel_tenths", "scene", "input"},
          "[[module]]");
    Module m;
    m.address = Int(t, "address", kMinModule, kMaxModule, "module address", 0);
    if (!t.get("address")) Fail(t, "missing address (module address 1-32)");
    m.type = String(t, "type", false, "module type");
    if (m.type) {
      const bool hex = m.type->size() == 4 && std::all_of(m.type->begin(), m.type->end(), [](char c) {
                         return std::isxdigit(static_cast<unsigned char>(c));
                       });
      if (!hex)
        Fail(*t.get("type"), "module type is four hex digits as read back (e.g. \"0208\"), not \"" + *m.type + "\"");
      else
        std::transform(m.type->begin(), m.type->end(), m.type->begin(), [](char c) {
          return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        });
    }
    m.version = String(t, "version", false, "module version");
    m.name = String(t, "name", false, "module name").value_or("");
    // When the type is one the catalogue knows, what the module can take.
    const std::optional<ModuleType> type = m.type ? ParseModuleType(*m.type) : std::nullopt;
    m.turnOnSeconds = Times(t, "turn_on_seconds", kLightOutputs, kMaxTurnOnSeconds, "turn-on time in seconds",
                            type, type && !type->TakesTurnOnTimes(), "turn-on times");
    m.travelTenths = Times(t, "travel_tenths", kCurtainOutputs, kMaxTravelTenths, "travel time in tenths of a second",
                           type, type && !type->TakesTravelTimes(), "travel times");
    ForEachTable(t, "scene", [&](const toml::table& s) { ReadScene(s, m.scenes, type); });
    ForEachTable(t, "input", [&](const toml::table& b) { ReadBinding(b, m.bindings, type); });
    return m;
  }

  // { OUTPUT = VALUE, ... }: keys are output numbers. refused: the module's
  // type takes no such times (named by `settings`).
  std::vector<OutputTime> Times(const toml::table& module, std::string_view key, int outputs, int max,
                                const std::string& what, const std::optional<ModuleType>& type, bool refused,
                                const std::string& settings) {
    std::vector<OutputTime> times;
    const toml::node* node = module.get(key);
    if (!node) return times;
    if (refused) {
      Fail(KeyAt(module, key), Typed(*type) + ": it takes no " + settings);
      return times;
    }
    const toml::table* table = node->as_table();
    if (!table) {
      Fail(*node, std::string(key) + " must be a table of output = value, e.g. { 1 = 30, 2 = 45 }");
      return times;
    }
    for (const auto& [output, value] : *table) {
      const std::string name(output.str());
      int number = 0;
      const bool digits = !name.empty() && name.size() <= 2 &&
                          std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
      if (digits) number = std::stoi(name);
      if (!digits || number < 1 || number > outputs) {
        Fail(output.source(), "output '" + name + "' is not an output number (1-" + std::to_string(outputs) + ")");
        continue;
      }
      if (type && number > type->channels) {
        Fail(output.source(), "output " + name + " is not on this module: " + Typed(*type));
        continue;
      }
      if (const auto v = Ranged(value, 0, max, what)) times.push_back({number, *v});
    }
    std::sort(times.begin(), times.end(), [](const OutputTime& a, const OutputTime& b) { return a.output < b.output; });
    return times;
  }

  template <typename Each>
  void ForEachTable(const toml::table& module, std::string_view key, Each each) {
    const toml::node* node = module.get(key);
    if (!node) return;
    const toml::array* list = node->as_array();
    if (!list || !list->is_array_of_tables()) {
      Fail(*node, std::string(key) + " must be a list of tables: [[module." + std::string(key) + "]]");
      return;
    }
    for (const toml::node& item : *list) each(*item.as_table());
  }

  void ReadScene(const toml::table& t, std::vector<Scene>& scenes, const std::optional<ModuleType>& type) {
    Known(t, {"number", "channels"}, "[[module.scene]]");
    if (type && !type->TakesScenes()) {
      Fail(t, Typed(*type) + ": it takes no scenes");
      return;
    }
    Scene s;
    s.number = Int(t, "number", 0, kMaxScene, "scene number");
    const auto codes = String(t, "channels", true, "the scene's channels: one code 0, 1 or X per output");
    bool ok = t.get("number") && codes;
    if (codes) {
      for (char c : *codes) {
        if (c == ' ') continue;
        try {
          s.channels.push_back(ParseChannelCode(std::string(1, c)));
        } catch (const std::invalid_argument&) {
          Fail(*t.get("channels"), std::string("a scene channel is 0, 1 or X, not '") + c + "'");
          ok = false;
          break;
        }
      }
      if (ok && (s.channels.empty() || s.channels.size() > static_cast<std::size_t>(kChannelCount))) {
        Fail(*t.get("channels"), "a scene has 1 to 8 channels, one per output; this one has " +
                                     std::to_string(s.channels.size()));
        ok = false;
      } else if (ok && type && s.channels.size() > static_cast<std::size_t>(type->channels)) {
        Fail(*t.get("channels"), "this scene has " + std::to_string(s.channels.size()) + " channels, one per output: " +
                                     Typed(*type));
        ok = false;
      }
    }
    for (const Scene& other : scenes)
      if (ok && other.number == s.number) {
        Fail(t, "scene " + std::to_string(s.number) + " is given twice for this module");
        ok = false;
      }
    if (ok) scenes.push_back(std::move(s));
  }

  void ReadBinding(const toml::table& t, std::vector<Binding>& bindings, const std::optional<ModuleType>& type) {
    Known(t, {"input", "mode", "function", "target", "output", "parameter"}, "[[module.input]]");
    if (type && !type->TakesBindings()) {
      Fail(t, Typed(*type) + ": only an input module takes input bindings");
      return;
    }
    Binding b;
    const std::size_t before = errors.size();
    b.input = Int(t, "input", 1, kMaxInput, "input number");
    if (type && t.get("input") && b.input > type->channels)
      Fail(*t.get("input"), "input " + std::to_string(b.input) + " is not on this module: " + Typed(*type));
    const auto mode = String(t, "mode", false, "control mode");
    if (mode && *mode != "button" && *mode != "switch") Fail(*t.get("mode"), "control mode is button or switch, not \"" + *mode + "\"");
    b.mode = mode == "switch" ? 1 : 0;
    b.function = Function(t);
    b.target = Int(t, "target", kMinModule, kMaxModule, "target module address", 1);
    b.output = Int(t, "output", 1, kLightOutputs, "target output", 1);
    b.parameter = Int(t, "parameter", 0, kMaxParameter, "parameter", 0);
    const InputFunction& fn = InputFunctions()[static_cast<std::size_t>(b.function)];
    if (b.parameter > fn.maxParameter)
      Fail(*t.get("parameter"), "parameter " + std::to_string(b.parameter) + " is out of range for \"" +
                                    std::string(fn.item) + "\" (0-" + std::to_string(fn.maxParameter) + ")");
    for (const Binding& other : bindings)
      if (other.input == b.input && t.get("input")) Fail(t, "input " + std::to_string(b.input) + " is bound twice");
    if (errors.size() == before) {
      bindings.push_back(b);
      targets_.push_back({b.function, b.target, b.output, t.get("target") ? t.get("target")->source() : t.source(),
                          t.get("output") ? t.get("output")->source() : t.source()});
    }
  }

  // By its name in the window's "Function :" list, or by its place there (1-12).
  int Function(const toml::table& t) {
    const toml::node* node = t.get("function");
    const auto functions = InputFunctions();
    if (!node) return 0;
    if (node->is_integer()) return Ranged(*node, 1, static_cast<int>(functions.size()), "function").value_or(1) - 1;
    if (const auto* name = node->as_string()) {
      // The list's own name, or the same in other case or with '-' for the
      // spaces ("toggle-light"), as veltra-cli takes it.
      if (const auto found = FindInputFunction(name->get())) return static_cast<int>(*found);
      std::string known;
      for (const InputFunction& f : functions) known += (known.empty() ? "\"" : ", \"") + std::string(f.item) + "\"";
      Fail(*node, "unknown function \"" + name->get() + "\"; one of " + known + ", or 1-12");
      return 0;
    }
    Fail(*node, "function is a name from the Function list or its number (1-12)");
    return 0;
  }

  std::string_view file_;
};

}  // namespace

std::string Describe(const Error& error) {
  std::string text = error.file;
  if (error.line > 0) {
    // Appended piece by piece: GCC 12 at -O3 warns falsely about
    // ":" + std::string&& (-Wrestrict).
    text += ':';
    text += std::to_string(error.line);
    text += ':';
    text += std::to_string(error.column);
  }
  return text + ": " + error.message;
}

ParseResult ParsePlan(std::string_view text, std::string_view fileName) {
  ParseResult result;
  Reader reader(fileName);
  toml::table root;
  try {
    root = toml::parse(text, fileName);
  } catch (const toml::parse_error& error) {
    reader.Fail(error.source(), std::string(error.description()));
    result.errors = std::move(reader.errors);
    return result;
  }
  try {
    Plan plan = reader.Read(root);
    if (reader.errors.empty() && plan.modules.empty() && !plan.busSwitch)
      reader.Fail(toml::source_region{}, "the plan holds no [[module]] and no [bus_switch]: nothing to apply or verify");
    if (reader.errors.empty()) result.plan = std::move(plan);
  } catch (const std::exception& error) {
    // Nothing above should throw; a plan still never escapes half-checked.
    reader.Fail(toml::source_region{}, error.what());
  }
  result.errors = std::move(reader.errors);
  // In the order of the file, whatever order the checks ran in.
  std::stable_sort(result.errors.begin(), result.errors.end(), [](const Error& a, const Error& b) {
    return std::tie(a.line, a.column) < std::tie(b.line, b.column);
  });
  return result;
}

BusSwitchRecord RecordOf(int subnet, const BusSwitch& b) {
  BusSwitchRecord r{};
  auto put = [&r](std::size_t at, const auto& bytes) { std::copy(bytes.begin(), bytes.end(), r.begin() + at); };
  auto put16 = [&r](std::size_t at, int value) {
    r[at] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
    r[at + 1] = static_cast<std::uint8_t>(value & 0xFF);
  };
  put16(0, subnet);
  put(2, b.ip);
  put16(6, b.port);
  put(8, b.mask);
  put(12, b.gateway);
  put(16, b.serverIp);
  put16(20, b.serverPort);
  put(22, b.mac);
  return r;
}

}  // namespace veltra::plan
