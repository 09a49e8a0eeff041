#include "console/core/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fstream>
#include <optional>
#include <sstream>
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

EIniFileError::EIniFileError(const std::string& path)
    : std::runtime_error("Unable to write to " + path) {}

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {
  std::ifstream in(fileName_, std::ios::binary);
  std::ostringstream text;
  if (in) text << in.rdbuf();
  Parse(text.str());
}

void TIniFile::Parse(const std::string& text) {
  sections_.assign(1, Section{});
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string trimmed = Trim(line);
    if (!trimmed.empty() && trimmed.front() == '[') {
      const size_t close = trimmed.find(']');
      sections_.push_back(Section{
          Trim(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1)),
          line,
          {}});
      continue;
    }
    Entry entry{line, {}, {}};
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
    sections_.push_back(Section{section, "[" + section + "]", {}});
    s = &sections_.back();
  }
  for (Entry& e : s->entries) {
    if (!e.key.empty() && SameName(e.key, key)) {
      e = Entry{line, key, value};
      return;
    }
  }
  // New keys go after the last non-blank line, so a blank line that parts
  // this section from the next stays where it is.
  auto pos = s->entries.end();
  while (pos != s->entries.begin() && Trim(std::prev(pos)->raw).empty()) --pos;
  s->entries.insert(pos, Entry{line, key, value});
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
  std::string text;
  for (size_t i = 0; i < sections_.size(); ++i) {
    if (i > 0) text += sections_[i].header + "\n";
    for (const Entry& e : sections_[i].entries) text += e.raw + "\n";
  }
  return text;
}

void TIniFile::UpdateFile() const {
  const std::string text = Text();
  std::string tempName = fileName_ + ".XXXXXX";
  const int fd = mkstemp(tempName.data());
  if (fd < 0) throw EIniFileError(fileName_);

  bool ok = true;
  for (size_t done = 0; ok && done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  // mkstemp creates the file for its owner only; a settings file is not secret.
  ok = ok && fchmod(fd, 0644) == 0;
  ok = (close(fd) == 0) && ok;
  ok = ok && rename(tempName.c_str(), fileName_.c_str()) == 0;
  if (!ok) {
    unlink(tempName.c_str());
    throw EIniFileError(fileName_);
  }
}

}  // namespace kestrune
