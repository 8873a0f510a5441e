#include "protocol/command_catalogue.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <stdexcept>

#include "protocol/command_numbers.h"
#include "protocol/input_commands.h"
#include "protocol/scene_commands.h"

namespace veltra {
namespace {

using L = RequestSpec::Layout;
using V = RequestValues;

constexpr std::array<WireCommand, 29> kWireCommands{{
    {ClassSystem, system_command::SetAddress, "SetAddress"},
    {ClassSystem, system_command::BindInput, "BindInput"},
    {ClassSystem, system_command::SetScene, "SetScene"},
    {ClassSystem, system_command::ClearScene, "ClearScene"},
    {ClassSystem, system_command::TestScene, "TestScene"},
    {ClassSystem, system_command::ReadAddress, "ReadAddress"},
    {ClassSystem, system_command::ReadModuleType, "ReadModuleType"},
    {ClassSystem, system_command::ReadVersion, "ReadVersion"},
    {ClassSystem, system_command::ReadStatus, "ReadStatus"},
    {ClassSystem, system_command::TestModule, "TestModule"},
    {ClassSystem, system_command::Restore, "Restore"},
    {ClassCurtain, curtain_command::SetTravelTime, "SetTravelTime"},
    {ClassCurtain, curtain_command::Open, "Open"},
    {ClassCurtain, curtain_command::Close, "Close"},
    {ClassCurtain, curtain_command::Stop, "Stop"},
    {ClassCurtain, curtain_command::OpenAll, "OpenAll"},
    {ClassCurtain, curtain_command::CloseAll, "CloseAll"},
    {ClassCurtain, curtain_command::StopAll, "StopAll"},
    {ClassLight, light_command::SetOnTime, "SetOnTime"},
    {ClassLight, light_command::On, "On"},
    {ClassLight, light_command::Off, "Off"},
    {ClassLight, light_command::Toggle, "Toggle"},
    {ClassLight, light_command::AllOn, "AllOn"},
    {ClassLight, light_command::AllOff, "AllOff"},
    {ClassInfrared, infrared_command::LearnOn, "LearnOn"},
    {ClassInfrared, infrared_command::LearnOff, "LearnOff"},
    {ClassInfrared, infrared_command::DeleteCode, "DeleteCode"},
    {ClassInfrared, infrared_command::DeleteAllCodes, "DeleteAllCodes"},
    {ClassInfrared, infrared_command::SendCode, "SendCode"},
}};

// ---- fields, with the window's ranges

FieldSpec ModuleSettingsAddress(std::string_view name = "ADDR") {
  // "Module Addr. :" of "Subnet Module Settings" holds 0 to 33.
  return {name, "module address (0-33)", 0, 33, {}, {}};
}
FieldSpec ModuleAddress() { return {"ADDR", "module address (1-32)", 1, 32, {}, {}}; }
FieldSpec LightOutput() { return {"OUTPUT", "output (1-8)", 1, 8, {}, {}}; }
FieldSpec CurtainOutput() { return {"OUTPUT", "output (1-4)", 1, 4, {}, {}}; }
FieldSpec SceneNumber() { return {"SCENE", "scene number (0-50)", 0, 50, {}, {}}; }
FieldSpec InfraredCode() { return {"CODE", "infrared code number (0-249)", 0, 249, {}, {}}; }
FieldSpec InputNumber() { return {"INPUT", "input (1-32)", 1, 32, {}, {}}; }

// ---- layouts: the frame's Address and parameters from the values

constexpr int kInfraredSelector = 1;  // P1 of every infrared request

L ToModule(const V& v) { return {v["ADDR"], {}}; }
L ToEveryone(const V&) { return {kFiller, {}}; }
L OneOutput(const V& v) { return {v["ADDR"], {v["OUTPUT"] - 1, kFiller}}; }
L AllOutputs(const V&) { return {kFiller, {kFiller, kFiller}}; }
L OnTime(const V& v) { return {v["ADDR"], {v["OUTPUT"] - 1, High8(v["SECONDS"]), Low8(v["SECONDS"])}}; }
L TravelTime(const V& v) {
  // Tenths of a second on the window; milliseconds in the frame.
  const int ms = v["TENTHS"] * 100;
  return {v["ADDR"], {v["OUTPUT"] - 1, High8(ms), Low8(ms)}};
}
L NewAddress(const V& v) { return {kFiller, {v["NEW"]}}; }
L InfraredNoCode(const V& v) { return {v["ADDR"], {kInfraredSelector, kFiller}}; }
L InfraredWithCode(const V& v) { return {v["ADDR"], {kInfraredSelector, v["CODE"]}}; }

L Bind(const V& v) {
  // Function numbers count from 1 here; the list's index is one less.
  const auto functions = InputFunctions();
  const int index = v["--function"] - 1;
  const bool known = index >= 0 && index < static_cast<int>(functions.size());
  const InputFunction* fn = known ? &functions[static_cast<std::size_t>(index)] : nullptr;
  int target = v["--target"], output = v["--output"] - 1, parameter = v["--param"];
  if (fn && fn->target == InputFunction::Target::AllOutputs) {
    target = output = parameter = kFiller;
  } else if (fn && fn->target == InputFunction::Target::Scene) {
    target = output = kFiller;
  }
  // An index outside the list leaves class and command 255: nothing to bind.
  return {v["ADDR"],
          {v["INPUT"] - 1, v["--mode"], fn ? fn->targetClass : kFiller, fn ? fn->targetCommand : kFiller, target,
           output, parameter}};
}
// The input functions' names as command-line words, values 1 to 12.
std::vector<std::string_view> FunctionNames() {
  static const std::vector<std::string> words = [] {
    std::vector<std::string> list;
    for (const InputFunction& f : InputFunctions()) list.push_back(InputFunctionWord(f));
    return list;
  }();
  return {words.begin(), words.end()};
}

L Unbind(const V& v) { return {v["ADDR"], {v["INPUT"] - 1, kFiller, kFiller, kFiller, kFiller, kFiller, kFiller}}; }

L SceneSet(const V& v) {
  std::vector<int> parameters{v["SCENE"]};
  const std::size_t n = std::min<std::size_t>(v.channelItems.size(), kChannelCount);
  for (std::size_t k = 0; k < n; ++k) parameters.push_back(ChannelByte(v.channelItems[k]));
  return {v["ADDR"], std::move(parameters)};
}
L SceneClear(const V& v) { return {v["ADDR"], {v["SCENE"]}}; }
L SceneTest(const V& v) { return {kFiller, {kFiller, v["SCENE"]}}; }

L RecordSet(const V& v) { return {kFiller, std::vector<int>(v.record.begin(), v.record.end())}; }

// ---- the table

RequestSpec Entry(RequestId id, std::string_view name, std::vector<std::string_view> words, std::string_view help,
                  std::uint8_t cls, std::uint8_t command, Target target, std::vector<FieldSpec> fields,
                  L (*layout)(const V&), ReplyYield yields = ReplyYield::Status) {
  RequestSpec spec;
  spec.id = id;
  spec.name = name;
  spec.words = std::move(words);
  spec.help = help;
  spec.cls = cls;
  spec.command = command;
  spec.target = target;
  spec.fields = std::move(fields);
  spec.layout = layout;
  spec.yields = yields;
  return spec;
}

std::vector<RequestSpec> MakeRequests() {
  using R = RequestId;
  using T = Target;
  namespace sys = system_command;
  namespace light = light_command;
  namespace curtain = curtain_command;
  namespace ir = infrared_command;
  std::vector<RequestSpec> t;

  // Module Settings: "Subnet Module Settings".
  t.push_back(Entry(R::SetAddress, "SetAddress", {"set-address"}, "give the module in programming mode an address",
                    ClassSystem, sys::SetAddress, T::ProgrammingMode, {ModuleSettingsAddress("NEW")}, NewAddress));
  t.push_back(Entry(R::ReadAddress, "ReadAddress", {"read-address"}, "read the address of the module in programming mode",
                    ClassSystem, sys::ReadAddress, T::ProgrammingMode, {}, ToEveryone, ReplyYield::ModuleAddress));
  t.push_back(Entry(R::TestModule, "TestModule", {"identify"}, "make a module identify itself", ClassSystem,
                    sys::TestModule, T::Module, {ModuleSettingsAddress()}, ToModule));
  t.push_back(Entry(R::ReadModuleType, "ReadModuleType", {"read-type"}, "read a module's type", ClassSystem,
                    sys::ReadModuleType, T::Module, {ModuleSettingsAddress()}, ToModule, ReplyYield::ModuleType));
  t.push_back(Entry(R::ReadVersion, "ReadVersion", {"read-version"}, "read a module's software version", ClassSystem,
                    sys::ReadVersion, T::Module, {ModuleSettingsAddress()}, ToModule, ReplyYield::Version));
  t.push_back(Entry(R::Restore, "Restore", {"restore"}, "restore a module's factory state", ClassSystem, sys::Restore,
                    T::Module, {ModuleSettingsAddress()}, ToModule));
  t.back().confirm = true;

  // Light Control.
  t.push_back(Entry(R::LightOn, "On", {"light", "on"}, "switch a light output on", ClassLight, light::On, T::Module,
                    {ModuleAddress(), LightOutput()}, OneOutput));
  t.push_back(Entry(R::LightOff, "Off", {"light", "off"}, "switch a light output off", ClassLight, light::Off,
                    T::Module, {ModuleAddress(), LightOutput()}, OneOutput));
  t.push_back(Entry(R::LightToggle, "Toggle", {"light", "toggle"}, "toggle a light output", ClassLight, light::Toggle,
                    T::Module, {ModuleAddress(), LightOutput()}, OneOutput));
  t.push_back(Entry(R::LightAllOn, "AllOn", {"light", "all-on"}, "switch every light on", ClassLight, light::AllOn,
                    T::AllModules, {}, AllOutputs));
  t.push_back(Entry(R::LightAllOff, "AllOff", {"light", "all-off"}, "switch every light off", ClassLight,
                    light::AllOff, T::AllModules, {}, AllOutputs));
  t.push_back(Entry(R::LightSetOnTime, "SetOnTime", {"light", "set-time"}, "set a light output's turn-on time",
                    ClassLight, light::SetOnTime, T::Module,
                    {ModuleAddress(), LightOutput(), {"SECONDS", "turn-on time in seconds (0-65001)", 0, 65001, {}, {}}},
                    OnTime));
  t.push_back(Entry(R::ReadStatus, "ReadStatus", {"read-status"}, "read a module's output states", ClassSystem,
                    sys::ReadStatus, T::Module, {ModuleAddress()}, ToModule, ReplyYield::OutputStates));

  // Curtain Control.
  t.push_back(Entry(R::CurtainOpen, "Open", {"curtain", "open"}, "open a curtain", ClassCurtain, curtain::Open,
                    T::Module, {ModuleAddress(), CurtainOutput()}, OneOutput));
  t.push_back(Entry(R::CurtainClose, "Close", {"curtain", "close"}, "close a curtain", ClassCurtain, curtain::Close,
                    T::Module, {ModuleAddress(), CurtainOutput()}, OneOutput));
  t.push_back(Entry(R::CurtainStop, "Stop", {"curtain", "stop"}, "stop a curtain", ClassCurtain, curtain::Stop,
                    T::Module, {ModuleAddress(), CurtainOutput()}, OneOutput));
  t.push_back(Entry(R::CurtainOpenAll, "OpenAll", {"curtain", "open-all"}, "open every curtain", ClassCurtain,
                    curtain::OpenAll, T::AllModules, {}, AllOutputs));
  t.push_back(Entry(R::CurtainCloseAll, "CloseAll", {"curtain", "close-all"}, "close every curtain", ClassCurtain,
                    curtain::CloseAll, T::AllModules, {}, AllOutputs));
  t.push_back(Entry(R::CurtainStopAll, "StopAll", {"curtain", "stop-all"}, "stop every curtain", ClassCurtain,
                    curtain::StopAll, T::AllModules, {}, AllOutputs));
  t.push_back(Entry(R::CurtainSetTravelTime, "SetTravelTime", {"curtain", "set-time"}, "set a curtain's travel time",
                    ClassCurtain, curtain::SetTravelTime, T::Module,
                    {ModuleAddress(), CurtainOutput(),
                     {"TENTHS", "travel time in tenths of a second (0-601)", 0, 601, {}, {}}},
                    TravelTime));

  // IR Control: always the direct frame.
  t.push_back(Entry(R::InfraredLearnOn, "LearnOn", {"ir", "learn-on"}, "start learning infrared codes", ClassInfrared,
                    ir::LearnOn, T::Module, {ModuleAddress()}, InfraredNoCode));
  t.push_back(Entry(R::InfraredLearnOff, "LearnOff", {"ir", "learn-off"}, "stop learning infrared codes",
                    ClassInfrared, ir::LearnOff, T::Module, {ModuleAddress()}, InfraredNoCode));
  t.push_back(Entry(R::InfraredDeleteCode, "DeleteCode", {"ir", "delete"}, "delete one infrared code", ClassInfrared,
                    ir::DeleteCode, T::Module, {ModuleAddress(), InfraredCode()}, InfraredWithCode));
  t.push_back(Entry(R::InfraredDeleteAllCodes, "DeleteAllCodes", {"ir", "delete-all"}, "delete every infrared code",
                    ClassInfrared, ir::DeleteAllCodes, T::Module, {ModuleAddress()}, InfraredNoCode));
  t.push_back(Entry(R::InfraredSendCode, "SendCode", {"ir", "send"}, "send an infrared code", ClassInfrared,
                    ir::SendCode, T::Module, {ModuleAddress(), InfraredCode()}, InfraredWithCode));
  for (auto it = t.end() - 5; it != t.end(); ++it) it->form = FormRule::AlwaysDirect;

  // Input Module Control.
  t.push_back(Entry(R::BindInput, "BindInput", {"input", "bind"}, "bind an input to an action on an output module",
                    ClassSystem, sys::BindInput, T::Module,
                    {ModuleAddress(), InputNumber(),
                     {"--mode", "control mode", 0, 1, {"button", "switch"}, 0},
                     {"--function", "function: its name or its place in the window's Function list (1-12)", 1, 12,
                      {}, 1, FunctionNames()},
                     {"--target", "output module address (1-32)", 1, 32, {}, 1},
                     {"--output", "output of the output module (1-8)", 1, 8, {}, 1},
                     {"--param", "parameter (0-255)", 0, 255, {}, 0}},
                    Bind));
  t.push_back(Entry(R::ClearInput, "BindInput", {"input", "clear"}, "clear an input's binding", ClassSystem,
                    sys::BindInput, T::Module, {ModuleAddress(), InputNumber()}, Unbind));

  // Scene Control.
  t.push_back(Entry(R::SetScene, "SetScene", {"scene", "set"}, "program a scene: one code 0, 1 or X per output",
                    ClassSystem, sys::SetScene, T::Module, {ModuleAddress(), SceneNumber()}, SceneSet));
  t.back().extra = ExtraValues::Channels;
  t.back().scene = SceneEffect::Save;
  t.push_back(Entry(R::ClearScene, "ClearScene", {"scene", "clear"}, "clear a scene", ClassSystem, sys::ClearScene,
                    T::Module, {ModuleAddress(), SceneNumber()}, SceneClear));
  t.back().scene = SceneEffect::DeleteModule;
  t.push_back(Entry(R::TestScene, "TestScene", {"scene", "test"}, "run a scene on every module", ClassSystem,
                    sys::TestScene, T::AllModules, {SceneNumber()}, SceneTest));

  // Bus Switch Settings: always routed, to address 255.
  t.push_back(Entry(R::BusSwitchSet, "SetAddress", {"bus-switch", "set"}, "write the bus switch's settings",
                    ClassSystem, sys::SetAddress, T::EveryBusSwitch, {}, RecordSet));
  t.back().extra = ExtraValues::BusSwitchRecord;
  t.push_back(Entry(R::BusSwitchRead, "ReadAddress", {"bus-switch", "read"}, "read the bus switch's settings",
                    ClassSystem, sys::ReadAddress, T::EveryBusSwitch, {}, ToEveryone, ReplyYield::BusSwitchRecord));
  t.push_back(Entry(R::BusSwitchReadType, "ReadModuleType", {"bus-switch", "read-type"}, "read the bus switch's type",
                    ClassSystem, sys::ReadModuleType, T::BusSwitch, {}, ToEveryone, ReplyYield::ModuleType));
  t.push_back(Entry(R::BusSwitchReadVersion, "ReadVersion", {"bus-switch", "read-version"},
                    "read the bus switch's software version", ClassSystem, sys::ReadVersion, T::BusSwitch, {},
                    ToEveryone, ReplyYield::Version));
  t.push_back(Entry(R::BusSwitchRestore, "Restore", {"bus-switch", "restore"},
                    "restore the bus switch's factory state", ClassSystem, sys::Restore, T::BusSwitch, {},
                    ToEveryone));
  t.back().confirm = true;
  for (auto it = t.end() - 5; it != t.end(); ++it) it->form = FormRule::AlwaysRouted;

  // Any frame, given from its Length byte on.
  RequestSpec raw = Entry(R::RawFrame, "", {"send"},
                          "send a raw frame given from its Length byte on (header and checksum are added)", 0, 0,
                          T::AsFramed, {}, nullptr);
  raw.extra = ExtraValues::RawFrame;
  t.push_back(std::move(raw));
  return t;
}

}  // namespace

std::span<const WireCommand> WireCommands() { return kWireCommands; }

std::string_view CommandName(std::uint8_t cls, std::uint8_t command) {
  const std::uint8_t requestClass = cls & 0x7F;
  for (const WireCommand& c : kWireCommands)
    if (c.cls == requestClass && c.command == command) return c.name;
  return {};
}

std::string_view ClassName(std::uint8_t cls) {
  static constexpr std::array<std::string_view, 4> kNames{"System", "Curtain", "Light", "Infrared"};
  const std::uint8_t requestClass = cls & 0x7F;
  return requestClass < kNames.size() ? kNames[requestClass] : std::string_view{};
}

int RequestValues::operator[](std::string_view name) const {
  const auto at = ints.find(name);
  if (at == ints.end()) throw std::out_of_range("no value for " + std::string(name));
  return at->second;
}

std::optional<int> FieldSpec::ValueOf(std::string_view text) const {
  int number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (!text.empty() && error == std::errc() && end == text.data() + text.size() && choices.empty())
    return Holds(number) ? std::optional<int>(number) : std::nullopt;
  for (std::size_t i = 0; i < choices.size(); ++i)
    if (choices[i] == text) return static_cast<int>(i);
  const std::string wanted = FoldedName(text);
  for (std::size_t i = 0; i < valueNames.size() && !wanted.empty(); ++i)
    if (FoldedName(valueNames[i]) == wanted) return min + static_cast<int>(i);
  return std::nullopt;
}

const FieldSpec& RequestSpec::Field(std::string_view fieldName) const {
  for (const FieldSpec& f : fields)
    if (f.name == fieldName) return f;
  throw std::out_of_range(std::string(name) + " has no field " + std::string(fieldName));
}

bool RequestSpec::HasField(std::string_view fieldName) const {
  return std::any_of(fields.begin(), fields.end(), [&](const FieldSpec& f) { return f.name == fieldName; });
}

FrameForm RequestSpec::FormOn(FrameForm linkForm) const {
  switch (form) {
    case FormRule::AlwaysDirect: return FrameForm::Direct;
    case FormRule::AlwaysRouted: return FrameForm::Routed;
    case FormRule::ByLink: break;
  }
  return linkForm;
}

std::span<const RequestSpec> Requests() {
  static const std::vector<RequestSpec> requests = MakeRequests();
  return requests;
}

const RequestSpec& Request(RequestId id) {
  for (const RequestSpec& spec : Requests())
    if (spec.id == id) return spec;
  throw std::out_of_range("no such request");
}

const RequestSpec* FindRequest(const std::vector<std::string>& words) {
  for (const RequestSpec& spec : Requests())
    if (std::equal(spec.words.begin(), spec.words.end(), words.begin(), words.end())) return &spec;
  return nullptr;
}

std::optional<std::string> CheckValues(const RequestSpec& spec, const RequestValues& values) {
  for (const FieldSpec& f : spec.fields) {
    const auto at = values.ints.find(f.name);
    if (at == values.ints.end()) {
      if (f.defaultValue) continue;
      return std::string(f.name) + " is missing";
    }
    if (!f.Holds(at->second))
      return std::string(f.name) + " " + std::to_string(at->second) + " is outside " + std::to_string(f.min) + "-" +
             std::to_string(f.max);
  }
  if (spec.id == RequestId::BindInput && spec.HasField("--param")) {
    // The parameter means something only to some functions: the scene
    // number for "Scene".
    const RequestValues complete = WithDefaults(spec, values);
    const int index = complete["--function"] - 1;
    const auto functions = InputFunctions();
    if (index >= 0 && index < static_cast<int>(functions.size())) {
      const InputFunction& fn = functions[static_cast<std::size_t>(index)];
      if (complete["--param"] > fn.maxParameter)
        return "--param " + std::to_string(complete["--param"]) + " is outside 0-" + std::to_string(fn.maxParameter) +
               " for the function \"" + std::string(fn.item) + "\"";
    }
  }
  if (spec.extra == ExtraValues::Channels) {
    if (values.channelItems.empty() || values.channelItems.size() > static_cast<std::size_t>(kChannelCount))
      return "a scene has 1 to 8 channels";
    for (int item : values.channelItems)
      if (item < 0 || item > kNoChangeItem) return "a scene channel is 0, 1 or X";
  }
  if (spec.extra == ExtraValues::RawFrame) {
    const Bytes& raw = values.raw;
    if (raw.size() < 4) return "a frame needs at least Length, Address, Class and Command";
    if (raw.size() + 4 > kMaxSendLength) return "a frame is at most 200 bytes long";
    if (raw[0] != raw.size() + 4)
      return "the Length byte " + std::to_string(raw[0]) + " does not match the " + std::to_string(raw.size() + 4) +
             " bytes of the frame";
  }
  return std::nullopt;
}

RequestValues WithDefaults(const RequestSpec& spec, RequestValues values) {
  for (const FieldSpec& f : spec.fields)
    if (f.defaultValue && !values.ints.count(f.name)) values.ints.emplace(std::string(f.name), *f.defaultValue);
  return values;
}

FrameForm BuildRequest(const RequestSpec& spec, const RequestValues& values, const Addressing& linkAddressing,
                       TransmitBuffer& buffer) {
  if (spec.extra == ExtraValues::RawFrame) {
    for (std::size_t i = 0; i < values.raw.size() && i + 2 < buffer.size(); ++i) buffer[i + 2] = values.raw[i];
    return linkAddressing.form;
  }
  Addressing addressing{spec.FormOn(linkAddressing.form), linkAddressing.subnet};
  if (spec.target == Target::EveryBusSwitch) addressing.subnet = 0xFFFF;
  const RequestValues complete = WithDefaults(spec, values);
  const RequestSpec::Layout frame = spec.layout(complete);
  WriteRequest(buffer, addressing, frame.address, spec.cls, spec.command, frame.parameters);
  return addressing.form;
}

PreparedRequest PrepareRequest(const RequestSpec& spec, RequestValues values, const Addressing& linkAddressing) {
  PreparedRequest request;
  request.spec = &spec;
  request.values = WithDefaults(spec, std::move(values));
  request.form = BuildRequest(spec, request.values, linkAddressing, request.buffer);
  return request;
}

}  // namespace veltra
