#pragma once
// How the tool shows one exchange: the window's log lines and the result in
// words, or one JSON object per request.
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "link/exchange.h"

namespace veltra::cli {

// The decoded reply's result as named fields: module_type, version, address,
// outputs (booleans in order), or the bus switch record's fields.
nlohmann::ordered_json ResultFields(const DecodedReply& reply);
// {"request", "reply" (or null), "status", "status_word", "result", "round_trip_ms"}.
nlohmann::ordered_json ExchangeJson(const ExchangeResult& exchange);
// A frame received while listening: {"reply", "status", "status_word", "result"}.
nlohmann::ordered_json FrameJson(const Bytes& frame, const DecodedReply& reply, std::size_t statusOffset);
// The result in words, one line per field; none when the reply carries none.
std::vector<std::string> ResultLines(const DecodedReply& reply);

}  // namespace veltra::cli
