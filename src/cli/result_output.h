#pragma once
// How the tool shows one exchange: the window's log lines and the result in
// words, or one JSON object per request.
#include <nlohmann/json.hpp>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "cli/json_writer.h"
#include "link/exchange.h"

namespace veltra::cli {

// ISO 8601 local time with milliseconds and the offset from UTC:
// "2026-12-09T08:14:18.123+01:00".
std::string IsoTime(std::chrono::system_clock::time_point at);

// What a frame's bytes say of it, in the given form.
struct FrameFacts {
  std::string command;          // the catalogue's name of its class and command; empty when unknown
  int address = 0;              // its Address field: the addressee of a request, the sender of a reply
  std::optional<int> subnet;    // routed frames only
  bool reply = false;           // class with bit 7 set
};
FrameFacts FactsOf(const Bytes& frame, FrameForm form);

// "13 bytes: 55 AA 0D 00 ..." (the first 16 bytes, then "…").
std::string BytesPreview(const Bytes& bytes);

// The decoded reply's result as named fields: module_type, version, address,
// outputs (booleans in order), or the bus switch record's fields.
nlohmann::ordered_json ResultFields(const DecodedReply& reply);
// The members of an exchange's object: "command", "address", "subnet"
// (null for direct frames), "time" (when the request went out), "request",
// "reply" (or null), "reply_invalid" (what came instead of a frame, or
// null), "status", "status_word", "result", "round_trip_ms". Callers put
// their own first ("line", "item").
void WriteExchange(JsonWriter& json, const ExchangeResult& exchange);
// The exchange's object alone, as one line.
std::string ExchangeJson(const ExchangeResult& exchange);
// One line of JSON output; text that is no UTF-8 (a module's version text
// may be anything) is written with replacement characters.
std::string JsonLine(const nlohmann::ordered_json& value);
// A frame received while listening: {"reply", "status", "status_word", "result"}.
nlohmann::ordered_json FrameJson(const Bytes& frame, const DecodedReply& reply, std::size_t statusOffset);
// The result in words, one line per field; none when the reply carries none.
std::vector<std::string> ResultLines(const DecodedReply& reply);
// The result's values alone, one line per field, for --quiet: "0208",
// outputs as one digit each ("10000000"), the record's fields in order.
std::vector<std::string> QuietLines(const DecodedReply& reply);

}  // namespace veltra::cli
