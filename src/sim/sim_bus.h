#pragma once
// A simulated field bus: a set of modules with state, and the bus switch in
// front of them. Qt-free and link-agnostic: the UDP and pseudo-terminal
// endpoints hand it one complete frame at a time and send what it returns.
//
// How a frame is read (the console sends both forms on both links):
//  - A frame whose bytes 3-4 hold the served subnet or FFFF is routed
//    (Length at least 10). A direct frame can only look like that when its
//    Address and Class happen to spell the subnet; with the usual subnets
//    (below 256) that would be a request to address 0, which no module has.
//  - Serial line: every other frame is direct.
//  - UDP: every other frame is direct only if it is an infrared request (the
//    console sends those in the direct form over UDP too); anything else is a
//    routed frame for another subnet and gets no reply.
// Replies: over UDP always routed (a direct request is answered on the served
// subnet); on the serial line in the form of the request.
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/bus_switch_commands.h"
#include "protocol/frame.h"
#include "protocol/module_types.h"
#include "protocol/status_words.h"

namespace veltra {

using SimFrame = std::vector<std::uint8_t>;

enum class SimLink { Udp, Serial };

// Module addresses a module can be given; 0 means "no address yet".
inline constexpr int kFirstModuleAddress = 1;
inline constexpr int kLastModuleAddress = 32;
inline constexpr int kBroadcastAddress = 255;
inline constexpr int kEveryBusSwitchSubnet = 0xFFFF;


// One module of a population. channels: outputs of light and curtain
// modules, inputs of an input module; unused for infrared modules.
struct ModuleSetup {
  ModuleKind kind = ModuleKind::Light;
  int address = 0;
  bool programming = false;  // answers ReadAddress and takes SetAddress at 255
  int channels = 0;
  // Misbehaviour for acceptance tests: "Test Scene" confirmed but not
  // carried out, for every scene or for those listed.
  bool ignoresScenes = false;
  std::set<int> ignoredScenes{};
};

// Lights at 1 and 2 (8 outputs), curtains at 3 (4 outputs), infrared at 4,
// input module at 5 (8 inputs), and a light module without an address in
// programming mode.
std::vector<ModuleSetup> DefaultPopulation();

// Comma-separated modules: kind[:channels]@address, kind one of light,
// curtain, ir, input; address "-" for a module without an address in
// programming mode, or a number with a trailing "*" for an addressed module
// in programming mode. "default" gives DefaultPopulation().
// Example: "light:8@1,curtain@3,light@-". Throws std::invalid_argument.
std::vector<ModuleSetup> ParsePopulation(std::string_view text);

// Makes a module of the population misbehave: "ADDR:ignore-scenes" (it
// confirms "Test Scene" and changes nothing) or "ADDR:ignore-scene=N" (only
// scene N). Throws std::invalid_argument for an unknown fault or address.
void ApplyModuleFault(std::vector<ModuleSetup>& population, std::string_view text);

struct SimModule {
  ModuleKind kind = ModuleKind::Light;
  int address = 0;
  bool programming = false;
  int channels = 0;
  std::vector<std::uint8_t> outputs;  // light: 1 on; curtain: 1 open
  std::vector<int> times;             // turn-on seconds / travel milliseconds
  std::map<int, std::vector<std::uint8_t>> scenes;  // channel bytes 0, 1, 255
  bool learning = false;
  std::set<int> irCodes;
  std::vector<int> irSent;  // codes transmitted, in order
  std::map<int, std::array<std::uint8_t, 6>> bindings;  // input -> mode..parameter
  int identifyCount = 0;
  bool ignoresScenes = false;
  std::set<int> ignoredScenes{};
  bool IgnoresScene(int scene) const { return ignoresScenes || ignoredScenes.count(scene); }
  // Off the bus (unplugged, powered down): it hears nothing and answers
  // nothing, and keeps its state until it is back.
  bool offBus = false;

  // Factory state: outputs off/closed, default times, no scenes, codes or
  // bindings. The address and programming mode stay.
  void Reset();
};

// The module's type (its code from protocol/module_types.h) and version text.
ModuleType TypeOf(const SimModule& module);
std::string ModuleVersion(const SimModule& module);
inline constexpr const char* kBusSwitchVersion = "BusSwitch V1.0";

// A request as the bus read it.
struct SimRequest {
  FrameForm form = FrameForm::Direct;
  int subnet = 0;  // routed only
  int address = 0;
  int cls = 0;
  int command = 0;
  std::vector<std::uint8_t> params;
};

struct SimAnswer {
  std::optional<SimRequest> request;  // empty: not a frame, or not for this bus
  std::vector<SimFrame> replies;      // in send order; empty: nobody answers
  std::string note;                   // why nothing answered, or what changed
};

class SimBus {
 public:
  explicit SimBus(const std::vector<ModuleSetup>& population = DefaultPopulation());

  // One complete frame from the given link. Thread-safe.
  SimAnswer Handle(const std::uint8_t* data, std::size_t size, SimLink link);

  // The subnet the bus switch serves (record bytes 0-1).
  int Subnet() const;
  BusSwitchRecord Record() const;
  // The port the simulator really listens on goes into the record (and into
  // the defaults that Restore brings back).
  void SetServedPort(int port);

  // Someone presses an input of the input module at `address` (inputs from
  // 1): the request its binding makes the module send, carried out on the
  // bus as any request is. Throws std::invalid_argument when there is no
  // input module there or the input is not bound.
  SimRequest PressInput(int address, int input);

  std::optional<SimModule> Module(int address) const;
  std::vector<SimModule> Modules() const;

  // Takes the module at this address off the bus or puts it back; false
  // when no module has the address.
  bool SetOffBus(int address, bool off);

 private:
  SimAnswer HandleLocked(const std::uint8_t* data, std::size_t size, SimLink link);
  std::optional<SimRequest> Parse(const std::uint8_t* frame, int length, SimLink link) const;
  void Dispatch(const SimRequest& request, SimLink link, SimAnswer& answer);
  void BusSwitch(const SimRequest& request, SimLink link, SimAnswer& answer);
  SimFrame Reply(const SimRequest& request, SimLink link, int address, int status,
                 const std::vector<std::uint8_t>& params = {}) const;
  SimModule* At(int address);
  BusSwitchRecord DefaultRecord() const;

  mutable std::mutex mutex_;
  std::vector<SimModule> modules_;
  BusSwitchRecord record_{};
  int servedPort_ = 0;
};

// Builds one complete reply frame with the codec: Class, Command, Status and
// the reply parameters, in the given form.
SimFrame BuildReplyFrame(FrameForm form, int subnet, int address, int cls, int command, int status,
                         const std::vector<std::uint8_t>& params);
// A request as a module on the bus sends it (an input module's), in a form.
SimFrame BuildRequestFrame(const SimRequest& request, FrameForm form);

}  // namespace veltra
