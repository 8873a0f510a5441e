// Integer conversion of typed fields on arbitrary text. The input is the
// field's text.
//
// Properties: StrToInt takes exactly the texts that are blanks or tabs, an
// optional sign and one or more decimal digits with a value in 32 bits, and
// returns that value (read here with std::from_chars); every other text
// throws ConversionError naming the text; the decimal text of a value reads
// back as the value. HexByteToInt takes one or two hex digits and ByteToHex
// gives them back in upper case.
#include <cctype>
#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "protocol/int_conversion.h"

namespace {

using veltra::fuzz::Require;

std::optional<long long> ReadDecimal(std::string_view text) {
  std::size_t i = text.find_first_not_of(" \t");
  if (i == std::string_view::npos) return std::nullopt;
  bool negative = false;
  if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
  const std::string_view digits = text.substr(i);
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  unsigned long long magnitude = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  if (magnitude > 2147483648ULL) return std::nullopt;
  const long long value = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
  if (value > std::numeric_limits<int>::max()) return std::nullopt;
  return value;
}

template <typename Convert>
std::optional<int> Attempt(Convert convert, std::string_view text) {
  try {
    return convert(text);
  } catch (const veltra::ConversionError& e) {
    // what() is a C string: a zero byte in the text ends it there.
    const std::string message = "'" + std::string(text) + "' is not a valid integer value";
    Require(std::string(e.what()) == message.c_str(),
            "conversion error does not name the text");
    return std::nullopt;
  }
}

bool IsHexByte(std::string_view text) {
  if (text.empty() || text.size() > 2) return false;
  for (char c : text)
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const std::optional<int> value = Attempt(veltra::StrToInt, text);
  const std::optional<long long> expected = ReadDecimal(text);
  Require(value.has_value() == expected.has_value(), "StrToInt takes a text it should refuse or the reverse");
  if (value) {
    Require(*value == *expected, "StrToInt returns another value");
    Require(veltra::StrToInt(std::to_string(*value)) == *value, "a value's decimal text does not read back");
  }

  const std::optional<int> hex = Attempt(veltra::HexByteToInt, text);
  Require(hex.has_value() == IsHexByte(text), "HexByteToInt takes a text it should refuse or the reverse");
  if (hex) {
    Require(*hex >= 0 && *hex <= 255, "hex byte out of range");
    std::string upper(text.size() == 1 ? "0" : "");
    for (char c : text) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    Require(veltra::ByteToHex(static_cast<unsigned>(*hex)) == upper, "ByteToHex does not give the digits back");
  }
  return 0;
}
