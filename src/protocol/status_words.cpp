#include "protocol/status_words.h"

#include <array>

namespace veltra {
namespace {

constexpr std::array<StatusWordEntry, 7> kWords{{
    {kStatusOk, "OK!"},
    {kStatusModuleAddressOutOfRange, "Module address is out of range!"},
    {kStatusDeviceAddressOutOfRange, "Device address is out of range!"},
    {kStatusMemoryError, "Memory error!"},
    {kStatusParameterError, "Parameter error!"},
    {kStatusCommandError, "Command error!"},
    {kStatusAddressOccupied, "Module address is occupied"},
}};

constexpr const char* kUnknownStatus = "Response error!";

}  // namespace

std::span<const StatusWordEntry> StatusWords() { return kWords; }

const char* StatusWord(std::uint8_t status) {
  // Every word is a literal, so its data ends in a zero.
  for (const StatusWordEntry& entry : kWords)
    if (entry.status == status) return entry.word.data();
  return kUnknownStatus;
}

}  // namespace veltra
