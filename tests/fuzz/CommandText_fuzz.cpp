// Command byte text: normalising twice gives what normalising once gave, the
// normalised text reads back as the same bytes, and text that reads as it is
// normalises to those bytes too.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "console/core/CommandText.h"
#include "console/core/IntConv.h"

namespace kestrune::fuzz {
namespace {

std::optional<std::string> Normalized(const std::string& text) {
  try {
    return NormalizeCommandText(text);
  } catch (const EConvertError&) {
    return std::nullopt;
  }
}

std::optional<std::vector<uint8_t>> Parsed(const std::string& text) {
  try {
    return ParseCommandBytes(text);
  } catch (const EConvertError&) {
    return std::nullopt;
  }
}

}  // namespace
}  // namespace kestrune::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kestrune;
  using namespace kestrune::fuzz;
  const std::string text(reinterpret_cast<const char*>(data), size);

  const auto normalized = Normalized(text);
  if (normalized) {
    Require(Normalized(*normalized) == normalized, "normalising twice equals once");
    const auto bytes = Parsed(*normalized);
    Require(bytes.has_value(), "normalised text parses");
    Require(FormatCommandBytes(*bytes) == *normalized, "normalised text parses to its bytes");
  }
  if (const auto bytes = Parsed(text)) {
    Require(normalized == FormatCommandBytes(*bytes), "parsable text normalises to its bytes");
  }
  return 0;
}
