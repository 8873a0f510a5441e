#include "protocol/address_text.h"

#include <cctype>
#include <stdexcept>

namespace veltra {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::array<std::uint8_t, 4> ParseIpv4(const std::string& text) {
  std::array<std::uint8_t, 4> octets{};
  std::size_t at = 0;
  for (std::size_t i = 0; i < octets.size(); ++i) {
    std::size_t end = at;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
    const bool last = i + 1 == octets.size();
    if (end == at || end - at > 3 || (last ? end != text.size() : (end >= text.size() || text[end] != '.')))
      throw std::invalid_argument("not an IPv4 address A.B.C.D: " + text);
    const int value = std::stoi(text.substr(at, end - at));
    if (value > 255) throw std::invalid_argument("address octet above 255: " + text);
    octets[i] = static_cast<std::uint8_t>(value);
    at = end + 1;
  }
  return octets;
}

std::array<std::uint8_t, 6> ParseMac(const std::string& text) {
  std::array<std::uint8_t, 6> bytes{};
  if (text.size() != 17) throw std::invalid_argument("not a MAC address XX:XX:XX:XX:XX:XX: " + text);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::size_t at = i * 3;
    const int high = HexDigitValue(text[at]), low = HexDigitValue(text[at + 1]);
    if (high < 0 || low < 0 || (i + 1 < bytes.size() && text[at + 2] != ':' && text[at + 2] != '-'))
      throw std::invalid_argument("not a MAC address XX:XX:XX:XX:XX:XX: " + text);
    bytes[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return bytes;
}

std::vector<std::uint8_t> ParseHexBytes(const std::vector<std::string>& tokens) {
  std::vector<std::uint8_t> bytes;
  for (const std::string& token : tokens) {
    if (token.empty() || token.size() % 2 != 0) throw std::invalid_argument("not hexadecimal bytes: " + token);
    for (std::size_t i = 0; i < token.size(); i += 2) {
      const int high = HexDigitValue(token[i]), low = HexDigitValue(token[i + 1]);
      if (high < 0 || low < 0) throw std::invalid_argument("not hexadecimal bytes: " + token);
      bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
  }
  return bytes;
}

}  // namespace veltra
