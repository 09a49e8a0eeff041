// Text files the operator keeps (the settings file, the packet script): their
// encodings, their line ends, and reading and writing them whole.
//
// Encodings. A file that starts with a UTF-16 byte-order mark and is sound
// UTF-16 after it is UTF-16 (little- or big-endian); one that starts with the
// UTF-8 mark, or has none, and is valid UTF-8 is UTF-8 (with or without the
// mark); anything else is Windows-1252, the code page of files brought from
// a Windows machine. Windows-1252 gives every byte a character, the five
// bytes it leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) included, so such
// a file reads and writes back byte for byte. In memory, text is UTF-8.
//
// Writing uses the encoding a file was read in. When the text cannot be
// written that way (a character Windows-1252 lacks, or bytes that the next
// read would take for another encoding), it is written as UTF-8 instead, with
// the mark only when the text itself begins with U+FEFF: whatever is written
// reads back as the same text.
//
// Line ends. CR LF, LF and a lone CR each end a line; so does a run of CRs
// followed by LF (a file converted twice), so no CR ever stays in a line.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune {

enum class TextEncoding { Utf8, Utf8Bom, Utf16LE, Utf16BE, Windows1252 };

// A whole text file: its lines joined by "\n" (a line end at the very end of
// the file gives a "\n" at the end of Text), the encoding it is kept in and
// the line end it is written with.
struct TTextFile {
  std::string Text;  // UTF-8
  TextEncoding Encoding = TextEncoding::Utf8;
  std::string LineEnd = "\r\n";
};

// Reads file bytes: encoding as above; LineEnd is the line end the file uses
// most (the first of equally common ones), CR LF when it has none.
TTextFile DecodeTextFile(const std::string& bytes);
// The file's bytes: Text with each "\n" written as LineEnd, in Encoding (or
// the fallback described above).
std::string EncodeTextFile(const TTextFile& file);

// The character layer of the two above, without line-end handling.
std::string DecodeText(const std::string& bytes, TextEncoding& encoding);
// Writes text in `encoding`, or in the fallback, which `encoding` then names.
// Invalid UTF-8 in text is written as U+FFFD.
std::string EncodeText(const std::string& text, TextEncoding& encoding);

// One line of text and the line end that closes it ("" for a last line
// without one).
struct TTextLine {
  std::string_view Text;
  std::string_view End;
};
// Splits text at its line ends as described above.
std::vector<TTextLine> SplitLines(std::string_view text);
// The line end the lines use most (the first of equally common ones), CR LF
// when none has one.
std::string CommonLineEnd(const std::vector<TTextLine>& lines);

// A failed read or write. Error() is the errno value behind it, 0 when the
// refusal is our own (a file nobody may write).
class EFileError : public std::runtime_error {
 public:
  EFileError(const std::string& message, int error);
  int Error() const noexcept { return error_; }

 private:
  int error_;
};

// The whole file. Throws EFileError "Unable to read <path>: <system's
// reason>"; Error() is ENOENT for a file that is not there.
std::string ReadWholeFile(const std::string& path);

// Replaces the file's contents at once: the bytes go to a temporary file in
// the same folder, which is flushed to the disk and renamed over the file;
// then the folder is flushed, so after a crash the file is either the old or
// the new one, never a mix. A symbolic link is followed and its target
// rewritten (the link stays a link); the file keeps its permission bits (and
// its owner, where we may set it); a new file gets 0644.
// A file or folder without any write permission bit is refused even where
// the system would let us (as root): the operator made it read-only.
// Throws EFileError "Unable to write to <path>".
void WriteWholeFile(const std::string& path, const std::string& bytes);

// Checks, before a long piece of work whose result goes to path, that
// WriteWholeFile will be able to write there: the same refusals, and a
// temporary file made and removed in the folder. Throws EFileError
// "Cannot save to <path>: <reason>".
void CheckWritableFile(const std::string& path);

// ReadWholeFile + DecodeTextFile, and EncodeTextFile + WriteWholeFile.
TTextFile ReadTextFile(const std::string& path);
void WriteTextFile(const std::string& path, const TTextFile& file);

}  // namespace kestrune
