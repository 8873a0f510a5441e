#pragma once
// The bus switch's 28-byte configuration record, which "Set" sends and the
// configuration reply returns, and its text forms in the window.
#include <array>
#include <cstdint>
#include <string>


namespace veltra {

inline constexpr std::size_t kBusSwitchRecordSize = 28;
using BusSwitchRecord = std::array<std::uint8_t, kBusSwitchRecordSize>;

// The group's fields as text, in screen order (mask before gateway).
struct BusSwitchTexts {
  int subnet = 1;  // "Subnet ID :" spin field
  std::array<std::string, 4> ip;
  std::string port;
  std::array<std::string, 4> mask;
  std::array<std::string, 4> gateway;
  std::array<std::string, 4> serverIp;
  std::string serverPort;
  std::array<std::string, 6> mac;
};

// Converts every field; the first that does not convert throws
// ConversionError ("'%s' is not a valid integer value").
BusSwitchRecord RecordFromTexts(const BusSwitchTexts& texts);
// Decimal octets and ports, MAC bytes as two upper-case hex digits.
BusSwitchTexts TextsFromRecord(const BusSwitchRecord& record);

}  // namespace veltra
