#include "console/core/IntConv.h"

#include <cstddef>
#include <limits>

namespace kestrune {

namespace {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads hex digits from pos to the end; at most eight significant digits.
std::optional<uint32_t> ReadHexMagnitude(const std::string& text, size_t pos) {
  if (pos >= text.size()) return std::nullopt;
  uint32_t value = 0;
  for (; pos < text.size(); ++pos) {
    const int digit = HexDigitValue(text[pos]);
    if (digit < 0 || value > 0x0FFFFFFFu) return std::nullopt;
    value = (value << 4) | static_cast<uint32_t>(digit);
  }
  return value;
}

// Reads decimal digits from pos to the end, stopping as soon as the value
// leaves what a signed 32-bit number can hold in magnitude.
std::optional<uint32_t> ReadDecimalMagnitude(const std::string& text, size_t pos) {
  if (pos >= text.size()) return std::nullopt;
  constexpr uint64_t kLimit = uint64_t{1} << 31;
  uint64_t value = 0;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > kLimit) return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

// Length of the hexadecimal prefix at pos ("$", "x", "X", "0x", "0X"), or 0.
size_t HexPrefixLength(const std::string& text, size_t pos) {
  if (pos >= text.size()) return 0;
  const char c = text[pos];
  if (c == '$' || c == 'x' || c == 'X') return 1;
  if (c == '0' && pos + 1 < text.size() && (text[pos + 1] == 'x' || text[pos + 1] == 'X')) return 2;
  return 0;
}

}  // namespace

namespace {

std::string VisibleNul(const std::string& text) {
  std::string shown;
  shown.reserve(text.size());
  for (const char c : text) {
    if (c == '\0')
      shown += "\xE2\x90\x80";  // U+2400
    else
      shown += c;
  }
  return shown;
}

}  // namespace

EConvertError::EConvertError(const std::string& text)
    : std::runtime_error("''" + VisibleNul(text) + "'' is not a valid integer value"),
      text_(text) {}

std::optional<int32_t> TryStrToInt(const std::string& text) {
  size_t pos = text.find_first_not_of(' ');
  if (pos == std::string::npos) return std::nullopt;

  bool negative = false;
  if (text[pos] == '+' || text[pos] == '-') {
    negative = text[pos] == '-';
    ++pos;
  }

  if (const size_t prefix = HexPrefixLength(text, pos); prefix > 0) {
    const auto magnitude = ReadHexMagnitude(text, pos + prefix);
    if (!magnitude) return std::nullopt;
    // Unsigned hex is a 32-bit pattern; a negated one must be a true
    // negative number.
    if (!negative) return static_cast<int32_t>(*magnitude);
    if (*magnitude > 0x80000000u) return std::nullopt;
    return static_cast<int32_t>(0u - *magnitude);
  }

  const auto magnitude = ReadDecimalMagnitude(text, pos);
  if (!magnitude) return std::nullopt;
  if (negative) return static_cast<int32_t>(0u - *magnitude);
  if (*magnitude > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) return std::nullopt;
  return static_cast<int32_t>(*magnitude);
}

int32_t StrToInt(const std::string& text) {
  if (const auto value = TryStrToInt(text)) return *value;
  throw EConvertError(text);
}

int32_t HexToInt(const std::string& digits) { return StrToInt("$" + digits); }

int32_t StrToIntDef(const std::string& text, int32_t fallback) {
  return TryStrToInt(text).value_or(fallback);
}

}  // namespace kestrune
