#pragma once
// One row of the frame history: what a link's observer was told about one
// frame, with the columns the history is searched by (address, command,
// status, failure) taken out of its bytes once, when it is recorded. The
// Bus Monitor, veltra-cli's history and stats, and the exports show rows
// through RowTexts. Qt-free and SQLite-free.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/link.h"

namespace veltra::history {

// Bits of FrameRecord::flags.
enum FrameFlag : std::uint32_t {
  // Status other than OK, no reply, a frame with a bad checksum, bytes that
  // are no frame, noise: what "failures only" shows.
  kFailure = 1u << 0,
  kReply = 1u << 1,        // a reply: class with bit 7 set, and a Status
  kRouted = 1u << 2,       // read in the routed form
  kBadChecksum = 1u << 3,  // header and Length hold, the checksum does not
};

// Which way a frame went. A request that got no reply counts as sent.
enum class Direction { Sent, Received };

inline Direction DirectionOf(ObservedKind kind) {
  return kind == ObservedKind::Sent || kind == ObservedKind::NoReply ? Direction::Sent : Direction::Received;
}

// The link a frame crossed: the serial device with its line timing, or the
// UDP peer.
struct LinkInfo {
  bool serial = false;
  std::string address;  // device, or IPv4 host
  int port = 0;         // UDP port; 0 on the serial line
  LineTiming line;      // serial only

  // "Com /dev/ttyUSB0" or "TCP/IP 192.168.14.3:2001".
  std::string Text() const;
  bool operator==(const LinkInfo&) const = default;
};

LinkInfo LinkInfoOf(const LinkEndpoint& peer, const LineTiming& line);

struct FrameRecord {
  std::int64_t id = 0;       // the history's row id; 0 until stored
  std::int64_t timeUs = 0;   // system clock, microseconds since the epoch
  std::int64_t session = 0;  // the program run that recorded it
  std::int64_t link = 0;     // the history's id of its LinkInfo
  ObservedKind kind = ObservedKind::Sent;
  std::uint32_t flags = 0;
  std::optional<int> subnet;   // routed frames
  std::optional<int> address;  // frames whose header could be read
  // (class & 0x7F) * 256 + command: a request and its reply share it.
  std::optional<int> command;
  std::optional<int> status;  // replies
  std::optional<std::int64_t> roundTripUs;
  std::uint32_t skipped = 0;  // Noise: bytes skipped
  Bytes bytes;                // the frame (NoReply: the request); empty for Noise

  bool Failure() const { return flags & kFailure; }
  FrameForm Form() const { return flags & kRouted ? FrameForm::Routed : FrameForm::Direct; }
};

// The record of an observation, with every column filled but id, session
// and link.
FrameRecord RecordOf(const ObservedFrame& frame);

// (class & 0x7F) * 256 + command of every class and command of this name
// in the catalogue ("On", "ReadStatus"; case-insensitive); empty when none.
std::vector<int> CommandCodesNamed(const std::string& name);

// The texts of a row's columns, as the Bus Monitor, veltra-cli and the
// exports show them.
struct RowTexts {
  std::string time;       // "2026-12-09 10:15:02.123", local time
  std::string link;       // "Com /dev/ttyUSB0", "TCP/IP 127.0.0.1:2001"
  std::string direction;  // "Sent", "Received"
  std::string subnet;
  std::string address;
  std::string command;  // the catalogue's name
  std::string status;   // the status word of a reply
  std::string details;  // the parameters, decoded
  std::string roundTrip;  // "12.5 ms"
  std::string flags;      // "late reply, bad checksum", ...
};
RowTexts TextsOf(const FrameRecord& record, const LinkInfo& link);

// "2026-12-09 10:15:02.123" in local time.
std::string LocalTimeText(std::int64_t timeUs);
// "2026-12-09T10:15:02.123+01:00": local time with its offset.
std::string IsoTimeText(std::int64_t timeUs);
// The flags in words: "late reply", "unrelated frame", "not a frame", "bad
// checksum", "noise skipped (N bytes)", "no reply", joined by ", ".
std::string FlagsText(const FrameRecord& record);
// ASCII letters in lower case.
std::string LowerCase(std::string text);
// Every text of the row a free-text search looks at, lower case.
std::string SearchText(const FrameRecord& record, const LinkInfo& link);

}  // namespace veltra::history
