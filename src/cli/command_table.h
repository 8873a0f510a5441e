#pragma once
// The tool's commands, one per button of the window: their words, their
// values with the window's field ranges, and how each builds its request
// with the same builders the window uses. No argument parsing here, so that
// other front ends (site plans, scans) can run the same commands.
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/link.h"
#include "protocol/bus_switch_commands.h"
#include "protocol/request_writer.h"
#include "protocol/transmit_buffer.h"

namespace veltra::cli {

// One integer value of a command: a positional argument ("ADDR") or an
// option ("--output"). Choices name the values 0, 1, ... in order; an
// option with a default may be left out.
struct Argument {
  Argument(std::string name_, std::string help_, int min_, int max_, std::vector<std::string> choices_ = {},
           std::optional<int> defaultValue_ = std::nullopt)
      : name(std::move(name_)), help(std::move(help_)), min(min_), max(max_), choices(std::move(choices_)),
        defaultValue(defaultValue_) {}
  std::string name;
  std::string help;
  int min = 0;
  int max = 0;
  std::vector<std::string> choices;
  std::optional<int> defaultValue;
  bool IsOption() const { return name.rfind("--", 0) == 0; }
};

// Values a command takes beyond its integer arguments.
enum class Extra {
  None,
  Channels,        // scene set: one code 0, 1 or X per output, 1 to 8 of them
  BusSwitchRecord, // bus-switch set: the record's fields as options
  RawFrame,        // send: the frame from its Length byte on, in hex
  BroadcastTarget, // bus-switch read: --to HOST
  Listen,          // monitor: no request, every frame received is printed
};

// What a confirmed reply changes in the scene table.
enum class SceneEffect { None, Save, DeleteModule };

struct Values {
  std::map<std::string, int> ints;  // by argument name, choices as their index
  std::vector<int> channelItems;    // OFF 0, ON 1, No Change 2 (the lists' items)
  BusSwitchRecord record{};
  Bytes raw;                        // Length and the fields after it
  std::string to;                   // bus-switch read --to
  int operator[](const std::string& name) const { return ints.at(name); }
};

// The frame form and subnet of the link the request takes.
struct RequestContext {
  Addressing addressing;  // routed over UDP or with --routed, else direct
  int subnet = 1;
};

struct Command {
  std::vector<std::string> words;  // {"light", "on"}
  std::string help;
  std::vector<Argument> arguments;
  Extra extra = Extra::None;
  bool needsYes = false;  // a restore, confirmed on the command line
  SceneEffect scene = SceneEffect::None;
  std::function<void(TransmitBuffer&, const RequestContext&, const Values&)> build;
};

std::span<const Command> Commands();
// The command with these words; null when there is none.
const Command* FindCommand(const std::vector<std::string>& words);

// Text forms of the bus switch record's fields. Throw std::invalid_argument
// with a message that names the bad value.
std::array<std::uint8_t, 4> ParseIpv4(const std::string& text);
std::array<std::uint8_t, 6> ParseMac(const std::string& text);
// Scene channel code "0", "1" or "X" (either case) to its list item.
int ParseChannelCode(const std::string& text);
// Hex bytes, each token one or more two-digit pairs ("0A", "0a0b").
Bytes ParseHexBytes(const std::vector<std::string>& tokens);
// A raw frame's Length byte must count the given bytes plus header and
// checksum; throws std::invalid_argument otherwise.
void CheckRawFrame(const Bytes& raw);

}  // namespace veltra::cli
