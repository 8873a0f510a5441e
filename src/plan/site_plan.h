#pragma once
// A site plan: what a building's bus should hold, as a file that can be both
// applied and checked later. The model, and reading and writing its TOML
// form. Qt-free and link-free: nothing here sends anything.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/bus_switch_commands.h"
#include "protocol/command_catalogue.h"

namespace veltra::plan {

// Value ranges: the command catalogue's, those of the window's fields.
inline const int kMinModule = Request(RequestId::LightSetOnTime).Field("ADDR").min;
inline const int kMaxModule = Request(RequestId::LightSetOnTime).Field("ADDR").max;
inline const int kLightOutputs = Request(RequestId::LightSetOnTime).Field("OUTPUT").max;
inline const int kCurtainOutputs = Request(RequestId::CurtainSetTravelTime).Field("OUTPUT").max;
inline const int kMaxTurnOnSeconds = Request(RequestId::LightSetOnTime).Field("SECONDS").max;
inline const int kMaxTravelTenths = Request(RequestId::CurtainSetTravelTime).Field("TENTHS").max;
inline const int kMaxScene = Request(RequestId::SetScene).Field("SCENE").max;
inline const int kMaxInput = Request(RequestId::BindInput).Field("INPUT").max;
inline const int kMaxParameter = Request(RequestId::BindInput).Field("--param").max;

struct OutputTime {
  int output = 1;
  int value = 0;  // seconds for lights, tenths of a second for curtains
};

struct Scene {
  int number = 0;
  std::vector<int> channels;  // one item per output: 0 off, 1 on, 2 no change
};

// The same fields as the window's "Input Module Control" tab.
struct Binding {
  int input = 1;
  int mode = 0;      // 0 button, 1 switch
  int function = 0;  // index into the window's "Function :" list
  int target = 1;    // output module address
  int output = 1;
  int parameter = 0;
};

struct Module {
  int address = 0;
  std::optional<std::string> type;     // four hex digits as read back, e.g. "0208"
  std::optional<std::string> version;  // as read back
  std::string name;
  std::vector<OutputTime> turnOnSeconds;  // light outputs
  std::vector<OutputTime> travelTenths;   // curtain outputs
  std::vector<Scene> scenes;
  std::vector<Binding> bindings;
};

// The bus switch's network settings; its subnet is the plan's.
struct BusSwitch {
  std::array<std::uint8_t, 4> ip{}, mask{}, gateway{}, serverIp{};
  int port = 0, serverPort = 0;
  std::array<std::uint8_t, 6> mac{};
};

// One step of an acceptance test ("plan test"), from a [[test]] table.
struct TestStep {
  enum class Kind { Switch, Scene, Input, Identify };
  // What a switch step does to its output: lights on or off, curtains open,
  // close or stop.
  enum class Action { On, Off, Open, Close, Stop };
  Kind kind = Kind::Switch;
  std::string name;  // the operator's title; empty: made from the step
  int module = 0;    // switch, input, identify: the module's address
  int output = 0;    // switch: the output (1-8)
  Action action = Action::On;
  // switch: the status expected afterwards, one item per output from output
  // 1 on (0 off/closed, 1 on/open, 2 ignored); empty: the output's new state,
  // the others ignored.
  std::vector<int> expect;
  int scene = 0;      // scene: its number
  int input = 0;      // input: the input of the module
  int withinMs = 0;   // how long the outcome may take; 0: the step's default
  int line = 0;       // where the table starts in its file (0: made, not read)
};

// "switch", "scene", "input" or "identify", as plans write a step's kind.
std::string_view KindName(TestStep::Kind kind);

struct Plan {
  std::string site;  // the site's name, for reports; may be empty
  int subnet = 1;
  std::optional<BusSwitch> busSwitch;
  std::vector<Module> modules;  // in address order
  std::vector<TestStep> tests;  // in file order; empty: the default steps
};

// The module of the plan at this address; null when the plan has none.
const Module* FindModule(const Plan& plan, int address);

// The bus switch's configuration record for the plan (subnet included).
BusSwitchRecord RecordOf(int subnet, const BusSwitch& settings);

// One problem of a plan file, where it is.
struct Error {
  std::string file;
  int line = 0;  // from 1; 0 when the problem has no place
  int column = 0;
  std::string message;
};
// "FILE:LINE:COLUMN: message".
std::string Describe(const Error& error);

struct ParseResult {
  std::optional<Plan> plan;  // set only when there is no error
  std::vector<Error> errors;
};

// Parses and checks a plan's text; fileName only names it in errors. Never
// throws for any input: every problem is an error with its place.
ParseResult ParsePlan(std::string_view text, std::string_view fileName);

// [[test]] tables kept beside a plan, in a file of their own: each is
// checked against the plan as if it were in the plan's file. The steps are
// set only when there is no error.
struct TestsResult {
  std::optional<std::vector<TestStep>> tests;
  std::vector<Error> errors;
};
TestsResult ParseTests(std::string_view text, std::string_view fileName, const Plan& plan);

// The plan as TOML, commented, that ParsePlan reads back to the same plan
// (test steps are not written).
std::string WritePlan(const Plan& plan);

}  // namespace veltra::plan
