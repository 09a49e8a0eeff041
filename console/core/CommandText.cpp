#include "console/core/CommandText.h"

#include "console/core/IntConv.h"

#include <algorithm>

namespace kestrune {

std::vector<uint8_t> ParseCommandBytes(const std::string& text) {
  std::vector<uint8_t> bytes;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t end = std::min(text.find(' ', pos), text.size());
    if (end > pos)
      bytes.push_back(static_cast<uint8_t>(HexToInt(text.substr(pos, end - pos)) & 0xFF));
    pos = end + 1;
  }
  return bytes;
}

std::string NormalizeCommandText(const std::string& text) {
  // "0x" goes first and before splitting, so "10x20" becomes "120".
  std::string loose;
  loose.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '0' && i + 1 < text.size() && text[i + 1] == 'x') {
      ++i;
      continue;
    }
    loose += text[i];
  }
  std::replace_if(
      loose.begin(), loose.end(), [](char c) { return c == '#' || c == '$' || c == ','; }, ' ');
  return FormatCommandBytes(ParseCommandBytes(loose));
}

std::string FormatCommandBytes(const std::vector<uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 3);
  for (const uint8_t b : bytes) {
    if (!text.empty()) text += ' ';
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
  return text;
}

}  // namespace kestrune
