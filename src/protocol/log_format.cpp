#include "protocol/log_format.h"

namespace veltra {

std::string HexText(const std::uint8_t* bytes, int length) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(static_cast<std::size_t>(length > 0 ? length : 0) * 3);
  for (int i = 0; i < length; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
    text += ' ';
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

std::string FormatReadLine(const std::uint8_t* frame, int length, bool masked, const std::string& statusWord) {
  return std::string(kReadPrefix) + (masked ? std::string("X") : HexText(frame, length)) + "  " + statusWord;
}

}  // namespace veltra
