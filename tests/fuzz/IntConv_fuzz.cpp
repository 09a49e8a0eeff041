// Integer conversion: the throwing and the non-throwing forms agree, the
// error names the text, and both agree with a plain reference reading.
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "FuzzCheck.h"
#include "console/core/IntConv.h"

namespace kestrune::fuzz {
namespace {

std::optional<int32_t> Thrown(const std::string& text) {
  try {
    return StrToInt(text);
  } catch (const EConvertError& e) {
    Require(e.Text() == text, "the error names the text that failed");
    return std::nullopt;
  }
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The accepted syntax read with std::from_chars: spaces, a sign, then digits
// or a hex prefix and hex digits (at most eight significant ones).
std::optional<int32_t> Reference(const std::string& text) {
  size_t pos = text.find_first_not_of(' ');
  if (pos == std::string::npos) return std::nullopt;
  const bool negative = text[pos] == '-';
  if (text[pos] == '-' || text[pos] == '+') ++pos;
  const std::string rest = text.substr(pos);
  size_t prefix = 0;
  if (rest.starts_with("0x") || rest.starts_with("0X")) {
    prefix = 2;
  } else if (rest.starts_with("$") || rest.starts_with("x") || rest.starts_with("X")) {
    prefix = 1;
  }
  const std::string digits = rest.substr(prefix);
  if (digits.empty()) return std::nullopt;
  const int base = prefix > 0 ? 16 : 10;
  for (const char c : digits)
    if (base == 16 ? !IsHexDigit(c) : (c < '0' || c > '9')) return std::nullopt;
  const size_t significant = digits.find_first_not_of('0');
  if (base == 16 && significant != std::string::npos && digits.size() - significant > 8)
    return std::nullopt;
  uint64_t magnitude = 0;
  const auto [end, error] =
      std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  if (magnitude > 0xFFFFFFFFu) return std::nullopt;
  if (base == 16 && !negative) return static_cast<int32_t>(static_cast<uint32_t>(magnitude));
  const int64_t value =
      negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

}  // namespace
}  // namespace kestrune::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kestrune;
  using namespace kestrune::fuzz;
  const std::string text(reinterpret_cast<const char*>(data), size);

  const std::optional<int32_t> tried = TryStrToInt(text);
  Require(Thrown(text) == tried, "StrToInt and TryStrToInt agree");
  Require(StrToIntDef(text, 7) == tried.value_or(7), "StrToIntDef gives the fallback");
  Require(StrToIntDef(text, -7) == tried.value_or(-7), "StrToIntDef gives the fallback");
  Require(tried == Reference(text), "the reading agrees with the reference");

  std::optional<int32_t> hex;
  try {
    hex = HexToInt(text);
  } catch (const EConvertError& e) {
    Require(e.Text() == "$" + text, "HexToInt's error names $ and the digits");
  }
  Require(hex == TryStrToInt("$" + text), "HexToInt reads $ and the digits");
  return 0;
}
