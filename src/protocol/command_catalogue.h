#pragma once
// Every request the console can send, in one table: its name and the words
// veltra-cli knows it by, its class and command, the values it takes with
// their ranges, how its frame is laid out, who it addresses (and so which
// reply answers it) and what that reply yields. The window's fields, the
// tool's arguments, the site plan's checks and the simulated bus's ranges
// all come from here, and the dissector's names are checked against it.
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/bus_switch_commands.h"
#include "protocol/frame.h"
#include "protocol/request_writer.h"
#include "protocol/transmit_buffer.h"

namespace veltra {

// One command on the wire, named as the log, the tools' JSON and the
// dissector name it.
struct WireCommand {
  std::uint8_t cls;
  std::uint8_t command;
  std::string_view name;
};

// Every class and command a request can carry, by class then number.
std::span<const WireCommand> WireCommands();
// The name of a request's class and command; a reply's class (bit 7 set)
// names the request it answers. Empty when the pair is unknown.
std::string_view CommandName(std::uint8_t cls, std::uint8_t command);
// "System", "Curtain", "Light", "Infrared"; empty for another class.
std::string_view ClassName(std::uint8_t cls);

// The request's entries, one per button of the window (the two status
// reads share one).
enum class RequestId {
  SetAddress, ReadAddress, TestModule, ReadModuleType, ReadVersion, Restore,
  LightOn, LightOff, LightToggle, LightAllOn, LightAllOff, LightSetOnTime, ReadStatus,
  CurtainOpen, CurtainClose, CurtainStop, CurtainOpenAll, CurtainCloseAll, CurtainStopAll, CurtainSetTravelTime,
  InfraredLearnOn, InfraredLearnOff, InfraredDeleteCode, InfraredDeleteAllCodes, InfraredSendCode,
  BindInput, ClearInput,
  SetScene, ClearScene, TestScene,
  BusSwitchSet, BusSwitchRead, BusSwitchReadType, BusSwitchReadVersion, BusSwitchRestore,
  RawFrame,
};

// Which form a request's frame takes.
enum class FormRule {
  ByLink,        // routed over UDP (or with the serial line's "Monitor"), else direct
  AlwaysDirect,  // infrared requests
  AlwaysRouted,  // the bus switch's own requests
};

// Whom a request addresses, which decides which replies answer it.
enum class Target {
  Module,           // the module at its Address: the reply comes from that address
  AllModules,       // Address 255, every module: any address may answer
  ProgrammingMode,  // Address 255, the module in programming mode answers under its own address
  BusSwitch,        // Address 255 on the request's subnet: the bus switch answers as 255
  EveryBusSwitch,   // Subnet FFFF, Address 255: a broadcast any bus switch may answer, from any host
  AsFramed,         // a raw frame: told from its bytes (255 any address, FFFF any subnet)
};

// What a reply with status "OK!" yields besides its status.
enum class ReplyYield {
  Status,           // nothing more
  ModuleAddress,    // P0: the module's address
  ModuleType,       // P0 P1: the type, four hex digits
  Version,          // the version text
  OutputStates,     // P0 = 1, then one byte per output (bit 0: on/open)
  BusSwitchRecord,  // the 28-byte configuration record
};

// Values beyond the integer fields.
enum class ExtraValues {
  None,
  Channels,         // SetScene: 1 to 8 channel items (0 OFF, 1 ON, 2 No Change)
  BusSwitchRecord,  // BusSwitchSet: the configuration record
  RawFrame,         // Length and the fields after it, as given
};

// What a confirmed reply changes in the scene table.
enum class SceneEffect { None, Save, DeleteModule };

// One integer value of a request, named as veltra-cli names it: a
// positional argument ("ADDR") or an option ("--function"). Choices name the
// values 0, 1, ... in order; a field with a default may be left out.
struct FieldSpec {
  FieldSpec() = default;
  FieldSpec(std::string_view name_, std::string_view help_, int min_, int max_,
            std::vector<std::string_view> choices_ = {}, std::optional<int> defaultValue_ = {},
            std::vector<std::string_view> valueNames_ = {})
      : name(name_), help(help_), min(min_), max(max_), choices(std::move(choices_)), defaultValue(defaultValue_),
        valueNames(std::move(valueNames_)) {}

  std::string_view name;
  std::string_view help;
  int min = 0;
  int max = 0;
  std::vector<std::string_view> choices;
  std::optional<int> defaultValue;
  // Names of the values min, min + 1, ... taken besides the numbers (the
  // input functions: "toggle-light"); case, spaces, '-' and '_' aside.
  std::vector<std::string_view> valueNames;
  bool IsOption() const { return name.starts_with("--"); }
  bool Holds(int value) const { return value >= min && value <= max; }
  // The value a text gives: a number in range, a choice or a value's name.
  std::optional<int> ValueOf(std::string_view text) const;
};

// The values of one request: integer fields by name (choices as their
// index), and the extras of the few requests that take them.
struct RequestValues {
  std::map<std::string, int, std::less<>> ints;
  std::vector<int> channelItems;
  BusSwitchRecord record{};
  Bytes raw;
  int operator[](std::string_view name) const;
};

struct RequestSpec {
  RequestId id;
  std::string_view name;                // the wire command's name, e.g. "ReadModuleType"
  std::vector<std::string_view> words;  // veltra-cli's words, e.g. {"bus-switch", "read-type"}
  std::string_view help;
  std::uint8_t cls = 0;
  std::uint8_t command = 0;
  Target target = Target::Module;
  FormRule form = FormRule::ByLink;
  std::vector<FieldSpec> fields;
  ExtraValues extra = ExtraValues::None;
  ReplyYield yields = ReplyYield::Status;
  SceneEffect scene = SceneEffect::None;
  bool confirm = false;  // changes the device for good: asked before it is sent
  // Address and parameters of the frame from the values.
  struct Layout {
    int address = 0;
    std::vector<int> parameters;
  };
  Layout (*layout)(const RequestValues&) = nullptr;

  // The field of this name; throws std::out_of_range when there is none.
  const FieldSpec& Field(std::string_view fieldName) const;
  bool HasField(std::string_view fieldName) const;
  // The form this request takes on a link whose requests take `linkForm`.
  FrameForm FormOn(FrameForm linkForm) const;
};

// Every entry, in the order of the window's tabs.
std::span<const RequestSpec> Requests();
const RequestSpec& Request(RequestId id);
// The entry with these words; null when there is none.
const RequestSpec* FindRequest(const std::vector<std::string>& words);

// The first value out of its field's range (or a missing one without a
// default, or bad extras), as a message; nothing when all are in range.
std::optional<std::string> CheckValues(const RequestSpec& spec, const RequestValues& values);
// The values with every missing field's default filled in.
RequestValues WithDefaults(const RequestSpec& spec, RequestValues values);

// Writes Length and the fields after it into a buffer the caller owns; the
// send path adds the header and the checksum. linkAddressing is the link's
// form and subnet; the entry's form rule may override the form. Returns the
// form the frame was built in. Values are taken as given (low 8 bits, 16
// for times and subnets): check them first where they come from outside.
FrameForm BuildRequest(const RequestSpec& spec, const RequestValues& values, const Addressing& linkAddressing,
                       TransmitBuffer& buffer);

// A request built into its own buffer, with what it was built from: what
// the send path and the exchange carry.
struct PreparedRequest {
  const RequestSpec* spec = nullptr;
  RequestValues values;
  FrameForm form = FrameForm::Direct;
  TransmitBuffer buffer{};
};
PreparedRequest PrepareRequest(const RequestSpec& spec, RequestValues values, const Addressing& linkAddressing);

}  // namespace veltra
