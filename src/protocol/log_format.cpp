#include "protocol/log_format.h"

#include <charconv>

namespace veltra {

std::string HexText(const std::uint8_t* bytes, int length) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text(static_cast<std::size_t>(length > 0 ? length : 0) * 3, ' ');
  for (std::size_t i = 0; i < text.size() / 3; ++i) {
    text[3 * i] = kDigits[bytes[i] >> 4];
    text[3 * i + 1] = kDigits[bytes[i] & 0x0F];
  }
  return text;
}

std::string HexBytes(const std::uint8_t* bytes, int length) {
  std::string text = HexText(bytes, length);
  if (!text.empty()) text.pop_back();
  return text;
}

std::string FormatSendLine(const std::uint8_t* frame, int length, bool masked) {
  return std::string(kSendPrefix) + (masked ? std::string("X") : HexText(frame, length));
}

std::string FormatNotSentLine(const std::uint8_t* frame, int length, bool masked) {
  return std::string(kNotSentPrefix) + (masked ? std::string("X") : HexText(frame, length));
}

std::string FormatReadLine(const std::uint8_t* frame, int length, bool masked, const std::string& statusWord) {
  return std::string(kReadPrefix) + (masked ? std::string("X") : HexText(frame, length)) + "  " + statusWord;
}

std::string FormatRoundTrip(std::chrono::nanoseconds roundTrip) {
  const double ms = std::chrono::duration<double, std::milli>(roundTrip).count();
  char text[32];
  // Rounded as printed, so 9.96 ms reads "10 ms" and not "10.0 ms". Not
  // printf: the program's locale must not turn the point into a comma.
  const auto end = ms < 9.95 ? std::to_chars(text, text + sizeof text, ms, std::chars_format::fixed, 1).ptr
                             : std::to_chars(text, text + sizeof text, static_cast<long long>(ms + 0.5)).ptr;
  return std::string(text, end) + " ms";
}

}  // namespace veltra
