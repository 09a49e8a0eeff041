// The settings file: a text file in INI form, read whole at construction and
// written whole by UpdateFile.
//
//   [section]        opens a section
//   key=value        holds a value
//
// Section and key names match without regard to (ASCII) case. A value is read
// as the text after the first "=", with surrounding blanks removed, then one
// pair of enclosing quotation marks (single or double) removed, then cut to
// kMaxValueLength characters. Values are written as they are given, except
// that a line break in a key or value is written as a space.
//
// Lines the program never touches (unknown sections and keys, comments) are
// written back unchanged, so a settings file shared with a newer or older
// version of the program loses nothing. A missing or unreadable file reads as
// an empty one. All text is UTF-8.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrune {

// Raised by UpdateFile; the message is "Unable to write to <path>".
class EIniFileError : public std::runtime_error {
 public:
  explicit EIniFileError(const std::string& path);
};

class TIniFile {
 public:
  static constexpr size_t kMaxValueLength = 2047;

  explicit TIniFile(std::string fileName);

  const std::string& FileName() const { return fileName_; }

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& fallback) const;
  // Decimal, or hexadecimal with "$" or "0x" in front; anything else gives
  // the fallback.
  int32_t ReadInteger(const std::string& section, const std::string& key, int32_t fallback) const;
  // An integer as above, true when not 0; anything else gives the fallback.
  bool ReadBool(const std::string& section, const std::string& key, bool fallback) const;
  // The keys of the first section of that name, in file order (duplicates
  // included, as they are in the file).
  std::vector<std::string> ReadSection(const std::string& section) const;
  bool SectionExists(const std::string& section) const;

  // Replaces the first key of that name in the first section of that name,
  // or adds the key at the end of the section, or adds the section at the end
  // of the file.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int32_t value);
  void WriteBool(const std::string& section, const std::string& key, bool value);
  // Removes every section of that name with all its lines.
  void EraseSection(const std::string& section);

  // The file's text as UpdateFile writes it.
  std::string Text() const;
  // Writes the whole file at once: a temporary file beside it, then a rename,
  // so the old file stays intact when writing fails. Throws EIniFileError.
  void UpdateFile() const;

 private:
  // One line of the file. Keys keep their raw line until they are written,
  // so untouched lines come back byte for byte.
  struct Entry {
    std::string raw;
    std::string key;  // empty for lines that hold no key
    std::string value;
  };
  struct Section {
    std::string name;    // empty for the lines before the first section
    std::string header;  // the raw "[name]" line
    std::vector<Entry> entries;
  };

  void Parse(const std::string& text);
  const Section* FindSection(const std::string& name) const;
  Section* FindSection(const std::string& name);
  const Entry* FindEntry(const std::string& section, const std::string& key) const;

  std::string fileName_;
  std::vector<Section> sections_;  // sections_[0] is the unnamed head of the file
};

}  // namespace kestrune
