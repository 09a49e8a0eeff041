#include "console/core/TextFile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

namespace kestrune {

namespace {

// ------------------------------------------------------------ characters

constexpr char32_t kReplacementCharacter = 0xFFFD;
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LEMark = "\xFF\xFE";
constexpr std::string_view kUtf16BEMark = "\xFE\xFF";

// Windows-1252 for the bytes 0x80 to 0x9F. The five bytes the code page
// leaves undefined map to the C1 controls of the same value, as Windows
// itself maps them, so they come back as the same bytes.
constexpr std::array<char32_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

uint8_t Byte(char c) { return static_cast<uint8_t>(c); }

// Reads one code point of strict UTF-8 at i (no overlong forms, no
// surrogates, nothing above U+10FFFF) and moves i past it.
std::optional<char32_t> NextCodePoint(std::string_view s, size_t& i) {
  const uint8_t lead = Byte(s[i]);
  if (lead < 0x80) {
    ++i;
    return lead;
  }
  size_t length = 0;
  char32_t cp = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, cp = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, cp = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, cp = lead & 0x07, minimum = 0x10000;
  } else {
    return std::nullopt;
  }
  if (s.size() - i < length) return std::nullopt;
  for (size_t k = 1; k < length; ++k) {
    const uint8_t next = Byte(s[i + k]);
    if ((next & 0xC0) != 0x80) return std::nullopt;
    cp = (cp << 6) | (next & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
  i += length;
  return cp;
}

bool IsValidUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();)
    if (!NextCodePoint(s, i)) return false;
  return true;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The code points of text; a byte that is not part of valid UTF-8 gives
// U+FFFD.
std::u32string CodePoints(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (const auto cp = NextCodePoint(text, i)) {
      out += *cp;
    } else {
      out += kReplacementCharacter;
      ++i;
    }
  }
  return out;
}

std::string FromWindows1252(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const uint8_t b = Byte(c);
    AppendUtf8(out, b >= 0x80 && b < 0xA0 ? kWindows1252High[b - 0x80] : char32_t{b});
  }
  return out;
}

std::optional<std::string> ToWindows1252(const std::u32string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char32_t cp : text) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out += static_cast<char>(cp);
      continue;
    }
    const auto* found = std::find(kWindows1252High.begin(), kWindows1252High.end(), cp);
    if (found == kWindows1252High.end()) return std::nullopt;
    out += static_cast<char>(0x80 + (found - kWindows1252High.begin()));
  }
  return out;
}

// UTF-16 after its mark; nothing for an odd length or an unpaired surrogate.
std::optional<std::string> FromUtf16(std::string_view bytes, bool littleEndian) {
  if (bytes.size() % 2 != 0) return std::nullopt;
  const auto unitAt = [&](size_t i) -> char32_t {
    const uint8_t first = Byte(bytes[i]);
    const uint8_t second = Byte(bytes[i + 1]);
    return littleEndian ? (second << 8 | first) : (first << 8 | second);
  };
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); i += 2) {
    const char32_t unit = unitAt(i);
    if (unit >= 0xDC00 && unit <= 0xDFFF) return std::nullopt;
    if (unit < 0xD800 || unit > 0xDBFF) {
      AppendUtf8(out, unit);
      continue;
    }
    if (i + 2 >= bytes.size()) return std::nullopt;
    const char32_t low = unitAt(i + 2);
    if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
    AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
    i += 2;
  }
  return out;
}

std::string ToUtf16(const std::u32string& text, bool littleEndian) {
  std::string out(littleEndian ? kUtf16LEMark : kUtf16BEMark);
  out.reserve(2 + text.size() * 2);
  const auto append = [&](char32_t unit) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    out += littleEndian ? low : high;
    out += littleEndian ? high : low;
  };
  for (const char32_t cp : text) {
    if (cp < 0x10000) {
      append(cp);
    } else {
      append(0xD800 + ((cp - 0x10000) >> 10));
      append(0xDC00 + ((cp - 0x10000) & 0x3FF));
    }
  }
  return out;
}

std::optional<std::string> EncodeAs(const std::string& text, TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Utf8: return text;
    case TextEncoding::Utf8Bom: return std::string(kUtf8Mark) + text;
    case TextEncoding::Utf16LE: return ToUtf16(CodePoints(text), true);
    case TextEncoding::Utf16BE: return ToUtf16(CodePoints(text), false);
    case TextEncoding::Windows1252: return ToWindows1252(CodePoints(text));
  }
  return std::nullopt;
}

}  // namespace

// ------------------------------------------------------------ text

std::vector<TTextLine> SplitLines(std::string_view text) {
  std::vector<TTextLine> lines;
  size_t start = 0;
  size_t i = 0;
  while (i < text.size()) {
    size_t endLength = 0;
    if (text[i] == '\n') {
      endLength = 1;
    } else if (text[i] == '\r') {
      size_t j = i;
      while (j < text.size() && text[j] == '\r') ++j;
      endLength = (j < text.size() && text[j] == '\n') ? j + 1 - i : 1;
    }
    if (endLength == 0) {
      ++i;
      continue;
    }
    lines.push_back({text.substr(start, i - start), text.substr(i, endLength)});
    i += endLength;
    start = i;
  }
  if (start < text.size()) lines.push_back({text.substr(start), {}});
  return lines;
}

std::string DecodeText(const std::string& bytes, TextEncoding& encoding) {
  const std::string_view view = bytes;
  if (view.starts_with(kUtf16LEMark) || view.starts_with(kUtf16BEMark)) {
    const bool little = view.starts_with(kUtf16LEMark);
    if (auto text = FromUtf16(view.substr(2), little)) {
      encoding = little ? TextEncoding::Utf16LE : TextEncoding::Utf16BE;
      return std::move(*text);
    }
  }
  if (view.starts_with(kUtf8Mark) && IsValidUtf8(view.substr(kUtf8Mark.size()))) {
    encoding = TextEncoding::Utf8Bom;
    return bytes.substr(kUtf8Mark.size());
  }
  if (IsValidUtf8(view)) {
    encoding = TextEncoding::Utf8;
    return bytes;
  }
  encoding = TextEncoding::Windows1252;
  return FromWindows1252(view);
}

std::string EncodeText(const std::string& text, TextEncoding& encoding) {
  const std::string valid = IsValidUtf8(text) ? text : [&] {
    std::string out;
    for (const char32_t cp : CodePoints(text)) AppendUtf8(out, cp);
    return out;
  }();
  // What is written must read back as the same text: Windows-1252 bytes can
  // look like UTF-8 or begin like a byte-order mark, and a text that begins
  // with U+FEFF would lose it to the mark.
  for (const TextEncoding candidate : {encoding, TextEncoding::Utf8, TextEncoding::Utf8Bom}) {
    const std::optional<std::string> bytes = EncodeAs(valid, candidate);
    TextEncoding readAs{};
    if (bytes && DecodeText(*bytes, readAs) == valid) {
      encoding = candidate;
      return *bytes;
    }
  }
  encoding = TextEncoding::Utf8Bom;  // not reached: the mark keeps any text
  return std::string(kUtf8Mark) + valid;
}

std::string CommonLineEnd(const std::vector<TTextLine>& lines) {
  std::vector<std::pair<std::string_view, size_t>> counts;
  for (const TTextLine& line : lines) {
    if (line.End.empty()) continue;
    auto known = std::find_if(counts.begin(), counts.end(),
                              [&](const auto& count) { return count.first == line.End; });
    if (known == counts.end()) known = counts.insert(counts.end(), {line.End, 0});
    ++known->second;
  }
  const auto most =
      std::max_element(counts.begin(), counts.end(),
                       [](const auto& a, const auto& b) { return a.second < b.second; });
  return most == counts.end() ? "\r\n" : std::string(most->first);
}

TTextFile DecodeTextFile(const std::string& bytes) {
  TTextFile file;
  const std::string text = DecodeText(bytes, file.Encoding);
  const std::vector<TTextLine> lines = SplitLines(text);
  file.Text.reserve(text.size());
  for (const TTextLine& line : lines) {
    file.Text += line.Text;
    if (!line.End.empty()) file.Text += '\n';
  }
  file.LineEnd = CommonLineEnd(lines);
  return file;
}

std::string EncodeTextFile(const TTextFile& file) {
  std::string text;
  text.reserve(file.Text.size() + file.Text.size() / 8);
  for (const char c : file.Text) {
    if (c == '\n')
      text += file.LineEnd;
    else
      text += c;
  }
  TextEncoding encoding = file.Encoding;
  return EncodeText(text, encoding);
}

// ------------------------------------------------------------ files

EFileError::EFileError(const std::string& message, int error)
    : std::runtime_error(message), error_(error) {}

TTextFile ReadTextFile(const std::string& path) { return DecodeTextFile(ReadWholeFile(path)); }

void WriteTextFile(const std::string& path, const TTextFile& file) {
  WriteWholeFile(path, EncodeTextFile(file));
}

}  // namespace kestrune
