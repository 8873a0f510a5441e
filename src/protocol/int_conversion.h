#pragma once
// Integer conversion of text fields, with the error text the operator sees
// when a field does not hold a number.
#include <stdexcept>
#include <string>
#include <string_view>

namespace veltra {

class ConversionError : public std::runtime_error {
 public:
  explicit ConversionError(std::string_view text);
};

// Decimal integer with optional sign and leading blanks; anything else,
// including an empty text or a value outside 32 bits, throws.
int StrToInt(std::string_view text);
// One or two hexadecimal digits, either case.
int HexByteToInt(std::string_view text);
// Two upper-case hexadecimal digits.
std::string ByteToHex(unsigned value);

}  // namespace veltra
