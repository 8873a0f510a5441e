#pragma once
// Text forms of the addresses in the bus switch's record and of raw bytes,
// as an operator types them on a command line or in a plan. Each parser throws
// std::invalid_argument with a message that names the bad value.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace veltra {

// "A.B.C.D", each part 0 to 255.
std::array<std::uint8_t, 4> ParseIpv4(const std::string& text);
// "XX:XX:XX:XX:XX:XX" (or with '-'), hex digits in either case.
std::array<std::uint8_t, 6> ParseMac(const std::string& text);
// Hex bytes, each token one or more two-digit pairs ("0A", "0a0b").
std::vector<std::uint8_t> ParseHexBytes(const std::vector<std::string>& tokens);
// The value of one hex digit; -1 when it is none.
int HexDigitValue(char c);

}  // namespace veltra
