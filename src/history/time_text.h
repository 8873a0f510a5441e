#pragma once
// Times as an operator writes them for "since" and "until": a local date
// ("2026-12-09"), date and time ("2026-12-09 14:05", "2026-12-09T14:05:30.250"),
// a time of today ("14:05", "14:05:30"), a moment before now ("-30s", "-10m",
// "-2h", "-7d"), or "now".
#include <cstdint>
#include <optional>
#include <string>

namespace veltra::history {

// Microseconds since the epoch; nothing when the text is none of the above.
std::optional<std::int64_t> ParseTimeText(const std::string& text, std::int64_t nowUs);

}  // namespace veltra::history
