#include "console/network_fields.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace veltra {
namespace {

bool Digit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Appended piece by piece: GCC's -O3 sees a false overlap in "\"" + string.
std::string Quoted(std::string_view text) {
  std::string quoted(1, '"');
  quoted.append(text).push_back('"');
  return quoted;
}

bool IsDottedAddress(std::string_view text) {
  int parts = 0;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t dot = std::min(text.find('.', start), text.size());
    const std::string_view part = text.substr(start, dot - start);
    int value = 0;
    const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
    if (part.empty() || part.size() > 3 || error != std::errc() || end != part.data() + part.size() || value > 255)
      return false;
    ++parts;
    start = dot + 1;
  }
  return parts == 4;
}

bool IsHostName(std::string_view text) {
  if (text.empty() || text.size() > 253) return false;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t dot = std::min(text.find('.', start), text.size());
    const std::string_view label = text.substr(start, dot - start);
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') return false;
    for (const char c : label)
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') return false;
    start = dot + 1;
  }
  return true;
}

}  // namespace

std::optional<int> PortOf(std::string_view text, int minimum) {
  if (text.empty() || text.size() > 5 || !std::all_of(text.begin(), text.end(), Digit)) return std::nullopt;
  int port = 0;
  std::from_chars(text.data(), text.data() + text.size(), port);
  if (port < minimum || port > 65535) return std::nullopt;
  return port;
}

std::optional<std::string> CheckLocalPort(std::string_view text) {
  if (PortOf(text, 0)) return std::nullopt;
  return "\"Local Port \" takes a port number from 0 to 65535 (0: any free port), not " + Quoted(text);
}

std::optional<std::string> CheckRemotePort(std::string_view text) {
  if (PortOf(text, 1)) return std::nullopt;
  return "\"Remote Port \" takes a port number from 1 to 65535, not " + Quoted(text);
}

std::optional<std::string> CheckRemoteHost(std::string_view text) {
  const bool numeric = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return Digit(c) || c == '.'; });
  if (numeric ? IsDottedAddress(text) : IsHostName(text)) return std::nullopt;
  return "\"Remote IP \" takes a dotted IPv4 address (four numbers from 0 to 255) or a host name, not " +
         Quoted(text);
}

}  // namespace veltra
