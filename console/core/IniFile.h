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
// Nothing the operator stored is lost. Lines the program never touches
// (unknown sections and keys, comments) are written back byte for byte, with
// their own line ends; the file keeps its encoding (TextFile.h: UTF-8 with or
// without its mark, UTF-16, Windows-1252) and new lines take the line end the
// file uses most (CR LF in a new file). A file that is there but cannot be
// read is never replaced: it reads as empty, ReadError() says why, and
// UpdateFile leaves it alone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "console/core/TextFile.h"

namespace kestrune {

// The settings file ends a button's caption, and each column of a favourite,
// with this character, so a text holding it cannot be stored there.
inline constexpr char kSettingsFieldEnd = ';';

// The message for a text that holds kSettingsFieldEnd, naming the field
// ("caption"); nothing when the text can be stored.
std::optional<std::string> UnstorableFieldMessage(const std::string& text,
                                                  const std::string& field);

class TIniFile {
 public:
  static constexpr size_t kMaxValueLength = 2047;

  // Reads the file; a missing file reads as an empty one.
  explicit TIniFile(std::string fileName);
  // The file's contents given as bytes; nothing is read.
  static TIniFile FromBytes(std::string fileName, const std::string& bytes);

  const std::string& FileName() const { return fileName_; }
  // Set when the file is there but could not be read: "Unable to read
  // <path>: <system's reason>".
  const std::optional<std::string>& ReadError() const { return readError_; }
  TextEncoding Encoding() const { return encoding_; }

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& fallback) const;
  // Decimal, or hexadecimal with "$" or "0x" in front; anything else gives
  // the fallback.
  int32_t ReadInteger(const std::string& section, const std::string& key, int32_t fallback) const;
  // An integer as above, true when not 0; anything else gives the fallback.
  bool ReadBool(const std::string& section, const std::string& key, bool fallback) const;
  // The names of the sections in file order, each name once (as first
  // spelt).
  std::vector<std::string> Sections() const;
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

  // The file's text (UTF-8) as UpdateFile writes it, and its bytes.
  std::string Text() const;
  std::string FileBytes() const;
  // Writes the whole file at once (WriteWholeFile: the old file stays intact
  // when writing fails, links are followed, the mode is kept) and returns
  // true; throws EFileError "Unable to write to <path>". A file that could
  // not be read is left as it is: returns false, writing nothing.
  bool UpdateFile() const;

 private:
  // One line of the file. Keys keep their raw line and line end until they
  // are written, so untouched lines come back byte for byte.
  struct Entry {
    std::string raw;
    std::string end;  // "" only for a last line without a line end
    std::string key;  // empty for lines that hold no key
    std::string value;
  };
  struct Section {
    std::string name;  // empty for the lines before the first section
    Entry header;      // the raw "[name]" line
    std::vector<Entry> entries;
  };

  TIniFile() = default;
  void Parse(const std::string& bytes);
  const Section* FindSection(const std::string& name) const;
  Section* FindSection(const std::string& name);
  const Entry* FindEntry(const std::string& section, const std::string& key) const;

  std::string fileName_;
  std::optional<std::string> readError_;
  TextEncoding encoding_ = TextEncoding::Utf8;
  std::string lineEnd_ = "\r\n";   // for new lines
  std::vector<Section> sections_;  // sections_[0] is the unnamed head of the file
};

}  // namespace kestrune
