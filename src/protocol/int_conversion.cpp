#include "protocol/int_conversion.h"

#include <cstdio>

namespace veltra {

namespace {
std::string ConversionMessage(std::string_view text) {
  std::string message(1, '\'');
  message.append(text);
  message.append("' is not a valid integer value");
  return message;
}
}  // namespace

ConversionError::ConversionError(std::string_view text) : std::runtime_error(ConversionMessage(text)) {}

int StrToInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) throw ConversionError(text);
  long long value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') throw ConversionError(text);
    value = value * 10 + (c - '0');
    if (value > 2147483648LL) throw ConversionError(text);
  }
  if (negative) value = -value;
  if (value > 2147483647LL) throw ConversionError(text);
  return static_cast<int>(value);
}

int HexByteToInt(std::string_view text) {
  if (text.empty() || text.size() > 2) throw ConversionError(text);
  int value = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else throw ConversionError(text);
    value = value * 16 + digit;
  }
  return value;
}

std::string ByteToHex(unsigned value) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", value & 0xFF);
  return text;
}

}  // namespace veltra
