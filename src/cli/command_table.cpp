#include "cli/command_table.h"

#include <cctype>
#include <stdexcept>

#include "protocol/input_commands.h"
#include "protocol/module_commands.h"
#include "protocol/output_commands.h"
#include "scenes/scene_commands.h"

namespace veltra::cli {
namespace {

// The window's field ranges.
Argument ModuleAddr(const char* name = "ADDR") { return {name, "module address (0-33)", 0, 33}; }
Argument OutputModule() { return {"ADDR", "module address (1-32)", 1, 32}; }
Argument LightOutput() { return {"OUTPUT", "output (1-8)", 1, 8}; }
Argument CurtainOutput() { return {"OUTPUT", "output (1-4)", 1, 4}; }
Argument SceneNo() { return {"SCENE", "scene number (0-50)", 0, 50}; }
Argument IrCode() { return {"CODE", "infrared code number (0-249)", 0, 249}; }
Argument Input() { return {"INPUT", "input (1-32)", 1, 32}; }

Command Module(std::vector<std::string> words, std::string help, ModuleCommand command, bool withAddress,
               bool needsYes = false) {
  Command c{std::move(words), std::move(help), {}, Extra::None, needsYes, SceneEffect::None, {}};
  if (withAddress) c.arguments.push_back(ModuleAddr(command == ModuleCommand::SetAddress ? "NEW" : "ADDR"));
  c.build = [command, withAddress](TransmitBuffer& b, const RequestContext& ctx, const Values& v) {
    // "Read" of the address goes to every module; the field's value does not matter.
    BuildModuleCommand(b, command, ctx.addressing, withAddress ? v[command == ModuleCommand::SetAddress ? "NEW" : "ADDR"] : 1);
  };
  return c;
}

// A light or curtain request; fields the command does not use keep the
// window's defaults.
Command Output(std::vector<std::string> words, std::string help, OutputCommand command,
               std::vector<Argument> arguments) {
  const bool curtain = words[0] == "curtain";
  Command c{std::move(words), std::move(help), std::move(arguments), Extra::None, false, SceneEffect::None, {}};
  c.build = [command, curtain](TransmitBuffer& b, const RequestContext& ctx, const Values& v) {
    OutputFields fields{1, 1, curtain ? 200 : 0};
    if (v.ints.count("ADDR")) fields.module = v["ADDR"];
    if (v.ints.count("OUTPUT")) fields.output = v["OUTPUT"];
    if (v.ints.count("SECONDS")) fields.time = v["SECONDS"];
    if (v.ints.count("TENTHS")) fields.time = v["TENTHS"];
    BuildOutputCommand(b, command, ctx.addressing, fields);
  };
  return c;
}

Command Infrared(std::vector<std::string> words, std::string help, InfraredCommand command, bool withCode) {
  Command c{std::move(words), std::move(help), {OutputModule()}, Extra::None, false, SceneEffect::None, {}};
  if (withCode) c.arguments.push_back(IrCode());
  c.build = [command, withCode](TransmitBuffer& b, const RequestContext&, const Values& v) {
    BuildInfraredCommand(b, command, v["ADDR"], withCode ? v["CODE"] : 0);
  };
  return c;
}

Command BusSwitchQueryCommand(std::string word, std::string help, BusSwitchQuery query, bool needsYes) {
  Command c{{"bus-switch", std::move(word)}, std::move(help), {}, Extra::None, needsYes, SceneEffect::None, {}};
  c.build = [query](TransmitBuffer& b, const RequestContext& ctx, const Values&) {
    BuildBusSwitchQuery(b, query, ctx.subnet);
  };
  return c;
}

std::vector<Command> MakeCommands() {
  std::vector<Command> t;
  t.push_back(Module({"set-address"}, "give the module in programming mode an address", ModuleCommand::SetAddress, true));
  t.push_back(Module({"read-address"}, "read the address of the module in programming mode", ModuleCommand::ReadAddress, false));
  t.push_back(Module({"identify"}, "make a module identify itself", ModuleCommand::TestModule, true));
  t.push_back(Module({"read-type"}, "read a module's type", ModuleCommand::ReadModuleType, true));
  t.push_back(Module({"read-version"}, "read a module's software version", ModuleCommand::ReadVersion, true));
  t.push_back(Module({"restore"}, "restore a module's factory state", ModuleCommand::Restore, true, true));

  t.push_back(Output({"light", "on"}, "switch a light output on", OutputCommand::LightOn, {OutputModule(), LightOutput()}));
  t.push_back(Output({"light", "off"}, "switch a light output off", OutputCommand::LightOff, {OutputModule(), LightOutput()}));
  t.push_back(Output({"light", "toggle"}, "toggle a light output", OutputCommand::LightToggle, {OutputModule(), LightOutput()}));
  t.push_back(Output({"light", "all-on"}, "switch every light on", OutputCommand::LightAllOn, {}));
  t.push_back(Output({"light", "all-off"}, "switch every light off", OutputCommand::LightAllOff, {}));
  t.push_back(Output({"light", "set-time"}, "set a light output's turn-on time", OutputCommand::LightSetOnTime,
                     {OutputModule(), LightOutput(), {"SECONDS", "turn-on time in seconds (0-65001)", 0, 65001}}));
  t.push_back(Output({"read-status"}, "read a module's output states", OutputCommand::LightReadStatus, {OutputModule()}));

  t.push_back(Output({"curtain", "open"}, "open a curtain", OutputCommand::CurtainOpen, {OutputModule(), CurtainOutput()}));
  t.push_back(Output({"curtain", "close"}, "close a curtain", OutputCommand::CurtainClose, {OutputModule(), CurtainOutput()}));
  t.push_back(Output({"curtain", "stop"}, "stop a curtain", OutputCommand::CurtainStop, {OutputModule(), CurtainOutput()}));
  t.push_back(Output({"curtain", "open-all"}, "open every curtain", OutputCommand::CurtainOpenAll, {}));
  t.push_back(Output({"curtain", "close-all"}, "close every curtain", OutputCommand::CurtainCloseAll, {}));
  t.push_back(Output({"curtain", "stop-all"}, "stop every curtain", OutputCommand::CurtainStopAll, {}));
  t.push_back(Output({"curtain", "set-time"}, "set a curtain's travel time", OutputCommand::CurtainSetTravelTime,
                     {OutputModule(), CurtainOutput(), {"TENTHS", "travel time in tenths of a second (0-601)", 0, 601}}));

  t.push_back(Infrared({"ir", "learn-on"}, "start learning infrared codes", InfraredCommand::LearnOn, false));
  t.push_back(Infrared({"ir", "learn-off"}, "stop learning infrared codes", InfraredCommand::LearnOff, false));
  t.push_back(Infrared({"ir", "delete"}, "delete one infrared code", InfraredCommand::DeleteCode, true));
  t.push_back(Infrared({"ir", "delete-all"}, "delete every infrared code", InfraredCommand::DeleteAllCodes, false));
  t.push_back(Infrared({"ir", "send"}, "send an infrared code", InfraredCommand::SendCode, true));

  {
    Command c{{"input", "bind"}, "bind an input to an action on an output module",
              {OutputModule(), Input(), {"--mode", "control mode", 0, 1, {"button", "switch"}, 0},
               {"--function", "function (1-12, in the order of the window's Function list)", 1, 12, {}, 1},
               {"--target", "output module address (1-32)", 1, 32, {}, 1},
               {"--output", "output of the output module (1-8)", 1, 8, {}, 1},
               {"--param", "parameter (0-255)", 0, 255, {}, 0}},
              Extra::None, false, SceneEffect::None, {}};
    c.build = [](TransmitBuffer& b, const RequestContext& ctx, const Values& v) {
      BindInputFields f;
      f.inputModule = v["ADDR"];
      f.input = v["INPUT"];
      f.outputModule = v["--target"];
      f.output = v["--output"];
      f.controlMode = v["--mode"];
      f.function = v["--function"] - 1;
      f.parameter = v["--param"];
      BuildBindInput(b, ctx.addressing, f);
    };
    t.push_back(std::move(c));
  }
  {
    Command c{{"input", "clear"}, "clear an input's binding", {OutputModule(), Input()}, Extra::None, false,
              SceneEffect::None, {}};
    c.build = [](TransmitBuffer& b, const RequestContext& ctx, const Values& v) {
      BuildClearInput(b, ctx.addressing, v["ADDR"], v["INPUT"]);
    };
    t.push_back(std::move(c));
  }

  {
    Command c{{"scene", "set"}, "program a scene: one code 0, 1 or X per output", {OutputModule(), SceneNo()},
              Extra::Channels, false, SceneEffect::Save, {}};
    c.build = [](TransmitBuffer& b, const RequestContext& ctx, const Values& v) {
      std::array<int, kChannelCount> items;
      items.fill(kNoChangeItem);
      for (std::size_t k = 0; k < v.channelItems.size() && k < items.size(); ++k) items[k] = v.channelItems[k];
      BuildSetScene(b, ctx.addressing, v["ADDR"], v["SCENE"], static_cast<int>(v.channelItems.size()), items);
    };
    t.push_back(std::move(c));
  }
  {
    Command c{{"scene", "clear"}, "clear a scene", {OutputModule(), SceneNo()}, Extra::None, false,
              SceneEffect::DeleteModule, {}};
    c.build = [](TransmitBuffer& b, const RequestContext& ctx, const Values& v) {
      BuildClearScene(b, ctx.addressing, v["ADDR"], v["SCENE"]);
    };
    t.push_back(std::move(c));
  }
  {
    Command c{{"scene", "test"}, "run a scene on every module", {SceneNo()}, Extra::None, false, SceneEffect::None, {}};
    c.build = [](TransmitBuffer& b, const RequestContext& ctx, const Values& v) {
      BuildTestScene(b, ctx.addressing, v["SCENE"]);
    };
    t.push_back(std::move(c));
  }

  {
    Command c{{"bus-switch", "read"}, "read the bus switch's settings", {}, Extra::BroadcastTarget, false,
              SceneEffect::None, {}};
    c.build = [](TransmitBuffer& b, const RequestContext&, const Values&) { BuildBusSwitchRead(b); };
    t.push_back(std::move(c));
  }
  {
    Command c{{"bus-switch", "set"}, "write the bus switch's settings", {}, Extra::BusSwitchRecord, false,
              SceneEffect::None, {}};
    c.build = [](TransmitBuffer& b, const RequestContext&, const Values& v) { BuildBusSwitchSet(b, v.record); };
    t.push_back(std::move(c));
  }
  t.push_back(BusSwitchQueryCommand("read-type", "read the bus switch's type", BusSwitchQuery::ReadModuleType, false));
  t.push_back(BusSwitchQueryCommand("read-version", "read the bus switch's software version", BusSwitchQuery::ReadVersion, false));
  t.push_back(BusSwitchQueryCommand("restore", "restore the bus switch's factory state", BusSwitchQuery::Restore, true));

  {
    Command c{{"send"}, "send a raw frame given from its Length byte on (header and checksum are added)", {},
              Extra::RawFrame, false, SceneEffect::None, {}};
    c.build = [](TransmitBuffer& b, const RequestContext&, const Values& v) {
      for (std::size_t i = 0; i < v.raw.size() && i + 2 < b.size(); ++i) b[i + 2] = v.raw[i];
    };
    t.push_back(std::move(c));
  }
  t.push_back(Command{{"monitor"}, "print every valid frame received until interrupted", {}, Extra::Listen, false,
                      SceneEffect::None, {}});
  return t;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::span<const Command> Commands() {
  static const std::vector<Command> commands = MakeCommands();
  return commands;
}

const Command* FindCommand(const std::vector<std::string>& words) {
  for (const Command& c : Commands())
    if (c.words == words) return &c;
  return nullptr;
}

std::array<std::uint8_t, 4> ParseIpv4(const std::string& text) {
  std::array<std::uint8_t, 4> octets{};
  std::size_t at = 0;
  for (std::size_t i = 0; i < octets.size(); ++i) {
    std::size_t end = at;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
    const bool last = i + 1 == octets.size();
    if (end == at || end - at > 3 || (last ? end != text.size() : (end >= text.size() || text[end] != '.')))
      throw std::invalid_argument("not an IPv4 address A.B.C.D: " + text);
    const int value = std::stoi(text.substr(at, end - at));
    if (value > 255) throw std::invalid_argument("address octet above 255: " + text);
    octets[i] = static_cast<std::uint8_t>(value);
    at = end + 1;
  }
  return octets;
}

std::array<std::uint8_t, 6> ParseMac(const std::string& text) {
  std::array<std::uint8_t, 6> bytes{};
  if (text.size() != 17) throw std::invalid_argument("not a MAC address XX:XX:XX:XX:XX:XX: " + text);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::size_t at = i * 3;
    const int high = HexDigit(text[at]), low = HexDigit(text[at + 1]);
    if (high < 0 || low < 0 || (i + 1 < bytes.size() && text[at + 2] != ':' && text[at + 2] != '-'))
      throw std::invalid_argument("not a MAC address XX:XX:XX:XX:XX:XX: " + text);
    bytes[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return bytes;
}

int ParseChannelCode(const std::string& text) {
  if (text == "0") return 0;
  if (text == "1") return 1;
  if (text == "X" || text == "x") return kNoChangeItem;
  throw std::invalid_argument("a scene channel is 0, 1 or X, not " + text);
}

Bytes ParseHexBytes(const std::vector<std::string>& tokens) {
  Bytes bytes;
  for (const std::string& token : tokens) {
    if (token.empty() || token.size() % 2 != 0)
      throw std::invalid_argument("not hexadecimal bytes: " + token);
    for (std::size_t i = 0; i < token.size(); i += 2) {
      const int high = HexDigit(token[i]), low = HexDigit(token[i + 1]);
      if (high < 0 || low < 0) throw std::invalid_argument("not hexadecimal bytes: " + token);
      bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
  }
  return bytes;
}

void CheckRawFrame(const Bytes& raw) {
  // Length, Address, Class, Command at least; Length counts the header and
  // checksum as well.
  if (raw.size() < 4) throw std::invalid_argument("a frame needs at least Length, Address, Class and Command");
  if (raw.size() + 4 > kMaxSendLength) throw std::invalid_argument("a frame is at most 200 bytes long");
  if (raw[0] != raw.size() + 4)
    throw std::invalid_argument("the Length byte " + std::to_string(raw[0]) + " does not match the " +
                                std::to_string(raw.size() + 4) + " bytes of the frame");
}

}  // namespace veltra::cli
