#pragma once
// What one frame says, read as the Wireshark dissector reads it
// (tools/wireshark/veltra.lua): subnet, address, the catalogue's name of its
// class and command, a reply's status word, and its parameters decoded
// (outputs and inputs counted from 1, times in seconds or tenths of a second,
// scene channels, the bus switch record). Direction-free and pure: the
// caller says which form the frame is read in. The Bus Monitor, the history
// and veltra-cli show frames through it.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/frame.h"

namespace veltra {

// One decoded parameter: `field` is the dissector's field name without its
// "veltra." prefix ("output", "turn_on_time", "switch.ip", ...), `value` the
// value as tshark prints that field (outputs from 1, module types as
// "0x0208", output states as "0x01"), `text` the words the Bus Monitor shows
// ("Output 3"); empty for fillers, which only the dissector lists.
struct FrameDetail {
  std::string_view field;
  std::string value;
  std::string text;
};

struct FrameDescription {
  // 55 AA and a Length of at least 8: the bytes are read as a frame.
  bool isFrame = false;
  // The bytes end before the Length says the frame does.
  bool truncated = false;
  bool checksumOk = false;
  // Bytes after the frame (a datagram holds one frame).
  std::size_t trailing = 0;
  FrameForm form = FrameForm::Direct;  // as read: routed needs a Length of 10 or more
  std::optional<std::uint16_t> subnet;
  std::uint8_t address = 0;
  std::uint8_t cls = 0;
  std::uint8_t command = 0;
  bool reply = false;                 // class with bit 7 set and a Status byte
  std::string_view name;              // the catalogue's name; empty when unknown
  std::optional<std::uint8_t> status;  // replies
  std::vector<FrameDetail> details;

  // The name, or "Class C Command N" for a pair the catalogue does not know.
  std::string CommandText() const;
  // The status word of a reply; empty for a request.
  std::string StatusText() const;
  // The details' words joined by ", " ("Output 1, turn-on time 30 s").
  std::string DetailsText() const;
};

// Reads bytes as one frame of the given form (a routed frame shorter than
// 10 bytes is read direct, as the dissector does).
FrameDescription DescribeFrame(std::span<const std::uint8_t> bytes, FrameForm form);

// The checksum test alone: complete frame with header and Length, whose
// checksum does not hold.
bool HasBadChecksum(std::span<const std::uint8_t> bytes);

}  // namespace veltra
