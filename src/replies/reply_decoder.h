#pragma once
// Turns one received frame into its monitor-log line and the change it makes
// to the window. Pure: the window applies the result.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/bus_switch_commands.h"
#include "protocol/frame.h"
#include "protocol/status_words.h"

namespace veltra {

enum class ReplyEffect {
  None,
  StatusBytes,         // statusBits: bit 0 of each status byte, in order
  ModuleAddress,       // moduleAddress: P0 as received (the field clamps it)
  BusSwitchConfig,     // busSwitchRecord
  ModuleType,          // text; toBusSwitchFields selects Edit13 over Edit1
  Version,             // text up to the first zero byte; toBusSwitchFields: Edit14
  SaveScene,           // SetScene confirmed
  DeleteModuleScenes,  // ClearScene confirmed
};

struct DecodedReply {
  // Empty when the frame was rejected; rejected frames change nothing.
  std::optional<std::string> logLine;
  std::string statusWord;  // of an accepted frame ("OK!", "Command error!", ...)
  ReplyEffect effect = ReplyEffect::None;
  std::vector<bool> statusBits;
  int moduleAddress = 0;
  bool toBusSwitchFields = false;
  std::string text;
  BusSwitchRecord busSwitchRecord{};
};

inline constexpr std::size_t kMaxRoutedInput = 200;

// Serial chunk decoded as a direct frame (the first 201 bytes are looked at).
DecodedReply DecodeDirect(const std::uint8_t* data, std::size_t size, bool masked);
// Datagram, or serial chunk in monitor mode, decoded as a routed frame;
// more than 200 bytes are not a frame.
DecodedReply DecodeRouted(const std::uint8_t* data, std::size_t size, bool masked);

}  // namespace veltra
