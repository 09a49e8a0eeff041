#include "console/core/IniFile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <optional>
#include <utility>

#include "console/core/IntConv.h"

namespace kestrune {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& s) {
  size_t begin = 0;
  size_t end = s.size();
  while (begin < end && IsBlank(s[begin])) ++begin;
  while (end > begin && IsBlank(s[end - 1])) --end;
  return s.substr(begin, end - begin);
}

bool SameName(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    return lower(x) == lower(y);
  });
}

std::string Unquote(const std::string& s) {
  if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front())
    return s.substr(1, s.size() - 2);
  return s;
}

// Cuts UTF-8 text after `count` characters, never inside one.
std::string CutCharacters(const std::string& s, size_t count) {
  size_t chars = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const bool continuation = (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80;
    if (!continuation && chars++ == count) return s.substr(0, i);
  }
  return s;
}

// The value of a key as the program reads it.
std::string CookValue(const std::string& raw) {
  return CutCharacters(Unquote(Trim(raw)), TIniFile::kMaxValueLength);
}

// A key or value on one line: a line break (text pasted from several lines)
// would end the line in the file and turn the rest into lines of its own.
std::string OneLine(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return text;
}

// Reads "$1F" and "0x1F" (or "0X1F") as hexadecimal and digits as decimal,
// each with an optional sign in front; no other prefix ("x1F" is not read).
std::optional<int32_t> ReadIntegerText(const std::string& text) {
  const bool hex =
      (!text.empty() && text[0] == '$') || text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0;
  const bool decimal = !text.empty() && (std::isdigit(static_cast<unsigned char>(text[0])) ||
                                         text[0] == '-' || text[0] == '+');
  if (!hex && !decimal) return std::nullopt;
  return TryStrToInt(text);
}

}  // namespace

std::optional<std::string> UnstorableFieldMessage(const std::string& text,
                                                  const std::string& field) {
  if (text.find(kSettingsFieldEnd) == std::string::npos) return std::nullopt;
  return std::string("The character \"") + kSettingsFieldEnd + "\" cannot be stored in a " + field +
         ": the settings file uses it to end the " + field + ".";
}

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {
  std::string bytes;
  try {
    bytes = ReadWholeFile(fileName_);
  } catch (const EFileError& e) {
    if (e.Error() != ENOENT) readError_ = e.what();
  }
  Parse(bytes);
}

TIniFile TIniFile::FromBytes(std::string fileName, const std::string& bytes) {
  TIniFile ini;
  ini.fileName_ = std::move(fileName);
  ini.Parse(bytes);
  return ini;
}

void TIniFile::Parse(const std::string& bytes) {
  const std::string text = DecodeText(bytes, encoding_);
  const std::vector<TTextLine> lines = SplitLines(text);
  lineEnd_ = CommonLineEnd(lines);
  sections_.assign(1, Section{});
  for (const TTextLine& textLine : lines) {
    const std::string line(textLine.Text);
    const std::string end(textLine.End);
    const std::string trimmed = Trim(line);
    if (!trimmed.empty() && trimmed.front() == '[') {
      const size_t close = trimmed.find(']');
      sections_.push_back(Section{
          Trim(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1)),
          Entry{line, end, {}, {}},
          {}});
      continue;
    }
    Entry entry{line, end, {}, {}};
    const size_t eq = line.find('=');
    if (eq != std::string::npos && trimmed.front() != ';') {
      entry.key = Trim(line.substr(0, eq));
      entry.value = line.substr(eq + 1);
    }
    sections_.back().entries.push_back(std::move(entry));
  }
}

const TIniFile::Section* TIniFile::FindSection(const std::string& name) const {
  for (size_t i = 1; i < sections_.size(); ++i)
    if (SameName(sections_[i].name, name)) return &sections_[i];
  return nullptr;
}

TIniFile::Section* TIniFile::FindSection(const std::string& name) {
  return const_cast<Section*>(std::as_const(*this).FindSection(name));
}

const TIniFile::Entry* TIniFile::FindEntry(const std::string& section,
                                           const std::string& key) const {
  const Section* s = FindSection(section);
  if (!s) return nullptr;
  for (const Entry& e : s->entries)
    if (!e.key.empty() && SameName(e.key, key)) return &e;
  return nullptr;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& fallback) const {
  const Entry* e = FindEntry(section, key);
  return e ? CookValue(e->value) : fallback;
}

int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key,
                              int32_t fallback) const {
  const Entry* e = FindEntry(section, key);
  if (!e) return fallback;
  return ReadIntegerText(CookValue(e->value)).value_or(fallback);
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool fallback) const {
  return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

std::vector<std::string> TIniFile::Sections() const {
  std::vector<std::string> names;
  for (size_t i = 1; i < sections_.size(); ++i)
    if (FindSection(sections_[i].name) == &sections_[i]) names.push_back(sections_[i].name);
  return names;
}

std::vector<std::string> TIniFile::ReadSection(const std::string& section) const {
  std::vector<std::string> keys;
  if (const Section* s = FindSection(section))
    for (const Entry& e : s->entries)
      if (!e.key.empty()) keys.push_back(e.key);
  return keys;
}

bool TIniFile::SectionExists(const std::string& section) const {
  return FindSection(section) != nullptr;
}

void TIniFile::WriteString(const std::string& section, const std::string& rawKey,
                           const std::string& rawValue) {
  const std::string key = OneLine(rawKey);
  const std::string value = OneLine(rawValue);
  const std::string line = key + "=" + value;
  Section* s = FindSection(section);
  if (!s) {
    sections_.push_back(Section{section, Entry{"[" + section + "]", lineEnd_, {}, {}}, {}});
    s = &sections_.back();
  }
  for (Entry& e : s->entries) {
    if (!e.key.empty() && SameName(e.key, key)) {
      e = Entry{line, e.end, key, value};
      return;
    }
  }
  // New keys go after the last non-blank line, so a blank line that parts
  // this section from the next stays where it is.
  auto pos = s->entries.end();
  while (pos != s->entries.begin() && Trim(std::prev(pos)->raw).empty()) --pos;
  s->entries.insert(pos, Entry{line, lineEnd_, key, value});
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void TIniFile::EraseSection(const std::string& section) {
  sections_.erase(std::remove_if(sections_.begin() + 1, sections_.end(),
                                 [&](const Section& s) { return SameName(s.name, section); }),
                  sections_.end());
}

std::string TIniFile::Text() const {
  std::vector<const Entry*> lines;
  for (size_t i = 0; i < sections_.size(); ++i) {
    if (i > 0) lines.push_back(&sections_[i].header);
    for (const Entry& e : sections_[i].entries) lines.push_back(&e);
  }
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    text += lines[i]->raw;
    // A last line without a line end that is no longer last needs one.
    const bool last = i + 1 == lines.size();
    text += lines[i]->end.empty() && !last ? lineEnd_ : lines[i]->end;
  }
  return text;
}

std::string TIniFile::FileBytes() const {
  TextEncoding encoding = encoding_;
  return EncodeText(Text(), encoding);
}

bool TIniFile::UpdateFile() const {
  // Writing what we could not read would replace the operator's settings
  // with ours alone.
  if (readError_) return false;
  WriteWholeFile(fileName_, FileBytes());
  return true;
}

}  // namespace kestrune
