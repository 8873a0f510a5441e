#pragma once
// The Status byte of a reply and the word the log, the tools and the
// dissector show for it.
#include <cstdint>
#include <span>
#include <string_view>

namespace veltra {

inline constexpr std::uint8_t kStatusOk = 1;
inline constexpr std::uint8_t kStatusModuleAddressOutOfRange = 2;
inline constexpr std::uint8_t kStatusDeviceAddressOutOfRange = 3;
inline constexpr std::uint8_t kStatusMemoryError = 4;
inline constexpr std::uint8_t kStatusParameterError = 5;
inline constexpr std::uint8_t kStatusCommandError = 6;
inline constexpr std::uint8_t kStatusAddressOccupied = 7;

// The word of a status a reply can carry.
struct StatusWordEntry {
  std::uint8_t status;
  std::string_view word;
};

// Statuses 1 to 7 with their words, in order.
std::span<const StatusWordEntry> StatusWords();

// The word of a Status byte; "Response error!" outside 1 to 7.
const char* StatusWord(std::uint8_t status);

}  // namespace veltra
