#pragma once
// One JSON object written straight into a line of text, for the objects
// the tool prints per request: many thousands a second from "run", where
// building a document first would cost more than the request itself.
// Strings are escaped as JSON wants; bytes that are no UTF-8 (a module's
// version text may be anything) become U+FFFD, as JsonLine does.
#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

namespace veltra::cli {

class JsonWriter {
 public:
  JsonWriter() { text_.reserve(512); }

  JsonWriter& Begin() { return Open('{'); }
  JsonWriter& End() {
    text_ += '}';
    first_ = false;
    return *this;
  }
  JsonWriter& BeginArray() { return Open('['); }
  JsonWriter& EndArray() {
    text_ += ']';
    first_ = false;
    return *this;
  }
  // The next member's name; its value follows.
  JsonWriter& Key(std::string_view name) {
    Separate();
    text_ += '"';
    Escaped(name);
    text_ += "\":";
    first_ = true;  // the value takes no comma
    return *this;
  }
  JsonWriter& String(std::string_view value) {
    Separate();
    text_ += '"';
    Escaped(value);
    text_ += '"';
    return *this;
  }
  JsonWriter& Int(long long value) {
    Separate();
    char digits[24];
    text_.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
    return *this;
  }
  // The shortest text that reads back to the same number.
  JsonWriter& Double(double value) {
    Separate();
    char digits[32];
    text_.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
    return *this;
  }
  JsonWriter& Bool(bool value) {
    Separate();
    text_ += value ? "true" : "false";
    return *this;
  }
  JsonWriter& Null() {
    Separate();
    text_ += "null";
    return *this;
  }
  // A value already written as JSON.
  JsonWriter& Raw(std::string_view json) {
    Separate();
    text_ += json;
    return *this;
  }

  const std::string& Text() const { return text_; }
  std::string Take() { return std::move(text_); }

 private:
  JsonWriter& Open(char bracket) {
    Separate();
    text_ += bracket;
    first_ = true;
    return *this;
  }
  void Separate() {
    if (!first_) text_ += ',';
    first_ = false;
  }

  // The length of the UTF-8 sequence at s[i], or 0 when it is none.
  static std::size_t Sequence(std::string_view s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
    const std::uint8_t lead = byte(i);
    std::size_t length;
    std::uint8_t low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return 0;
    }
    if (i + length > s.size()) return 0;
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
      if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    return length;
  }

  void Escaped(std::string_view s) {
    static constexpr char kHex[] = "0123456789abcdef";
    for (std::size_t i = 0; i < s.size();) {
      // A run of printable ASCII goes out at once.
      std::size_t plain = i;
      while (plain < s.size() && static_cast<std::uint8_t>(s[plain]) >= 0x20 &&
             static_cast<std::uint8_t>(s[plain]) < 0x80 && s[plain] != '"' && s[plain] != '\\')
        ++plain;
      if (plain > i) {
        text_.append(s.data() + i, plain - i);
        i = plain;
        continue;
      }
      const auto c = static_cast<std::uint8_t>(s[i]);
      if (c >= 0x80) {
        const std::size_t length = Sequence(s, i);
        if (length) {
          text_.append(s.substr(i, length));
          i += length;
        } else {
          text_ += "\xEF\xBF\xBD";  // U+FFFD for a byte that starts no sequence
          ++i;
        }
        continue;
      }
      switch (c) {
        case '"': text_ += "\\\""; break;
        case '\\': text_ += "\\\\"; break;
        case '\b': text_ += "\\b"; break;
        case '\f': text_ += "\\f"; break;
        case '\n': text_ += "\\n"; break;
        case '\r': text_ += "\\r"; break;
        case '\t': text_ += "\\t"; break;
        default:
          if (c < 0x20) {
            text_ += "\\u00";
            text_ += kHex[c >> 4];
            text_ += kHex[c & 0x0F];
          } else {
            text_ += static_cast<char>(c);
          }
      }
      ++i;
    }
  }

  std::string text_;
  bool first_ = true;
};

}  // namespace veltra::cli
