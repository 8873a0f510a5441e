#pragma once
// How frames are written in the monitor log and in the tools' output: the
// "Send ：" / "Read ：" prefixes and bytes as upper-case hexadecimal pairs.
#include <chrono>
#include <cstdint>
#include <string>

namespace veltra {

inline constexpr const char* kSendPrefix = "Send \xEF\xBC\x9A";  // "Send ：" (U+FF1A)
inline constexpr const char* kReadPrefix = "Read \xEF\xBC\x9A";  // "Read ："
// A request that did not go: its link is not open.
inline constexpr const char* kNotSentPrefix = "Not sent \xEF\xBC\x9A";  // "Not sent ："

// Each byte as two upper-case hex digits and a blank ("55 AA 0A ").
std::string HexText(const std::uint8_t* bytes, int length);
// The same without the trailing blank ("55 AA 0A").
std::string HexBytes(const std::uint8_t* bytes, int length);
// The monitor-log line of a request; masked shows the marker "X".
std::string FormatSendLine(const std::uint8_t* frame, int length, bool masked);
// The same for a request that was not sent: "Not sent ：" and the frame.
std::string FormatNotSentLine(const std::uint8_t* frame, int length, bool masked);
// The monitor-log line of an accepted reply: bytes (or "X"), two blanks and
// the status word.
std::string FormatReadLine(const std::uint8_t* frame, int length, bool masked, const std::string& statusWord);
// A round trip as "N ms": one decimal below 10 ms (loopback and fast lines),
// whole milliseconds above.
std::string FormatRoundTrip(std::chrono::nanoseconds roundTrip);

}  // namespace veltra
