// The console's one conversion of operator text to a 32-bit integer, and the
// error every failed conversion raises.
//
// Accepted text: optional leading spaces, an optional sign ("+" or "-"), then
// either decimal digits, or a hexadecimal prefix ("$", "x", "X", "0x", "0X")
// followed by hex digits of either case. Nothing may follow the digits.
// Decimal values must lie in the int32_t range. Hexadecimal values hold at
// most eight significant digits and give the 32-bit pattern ("$FFFFFFFF" is
// -1); with a "-" in front the magnitude may be at most 0x80000000.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace kestrune {

// Raised for a text that is not a valid integer. The message is
// ''<text>'' is not a valid integer value  (the doubled apostrophes belong to it).
// A NUL character of the text shows in the message as U+2400 (the symbol for
// NUL): a message is read as a C string, which would end at the NUL and hide
// the rest of the text.
class EConvertError : public std::runtime_error {
 public:
  explicit EConvertError(const std::string& text);

  // The text that failed to convert, as it was given.
  const std::string& Text() const noexcept { return text_; }

 private:
  std::string text_;
};

// Converts text as described above; throws EConvertError naming text.
int32_t StrToInt(const std::string& text);

// Reads hexadecimal digits without a prefix: StrToInt("$" + digits), so the
// error names "$" and the digits (for "zz": ''$zz'' is not a valid integer value).
int32_t HexToInt(const std::string& digits);

// As StrToInt, without throwing: no value when the text is not an integer.
std::optional<int32_t> TryStrToInt(const std::string& text);

// As StrToInt, giving fallback when the text is not an integer.
int32_t StrToIntDef(const std::string& text, int32_t fallback);

}  // namespace kestrune
