// Memory image files: raw images and Motorola S-records, as pure conversions
// between file contents and images. Opening, creating and choosing files is
// the caller's business.
//
// S-record files are written with S1 records (16-bit addresses) and the S9
// terminator "S9030000FC" when the whole image lies below 0x10000, otherwise
// with S2 records (24-bit addresses) and the S8 terminator "S804000000FB".
// Records carry up to 32 data bytes and end with CR LF; the terminator has no
// line end.
//
// The reader takes S1, S2 and S3 data records (16-, 24- and 32-bit
// addresses, hex digits of either case) and skips the other record types
// (S0 header, S5 count, the terminators). A data record that is damaged
// (bad checksum, a count the line does not hold, digits that are not hex, an
// address past the radio's 20-bit space) ends the load with an error naming
// its line: the radio is never given a guess at what the file meant. The
// image keeps the address ranges the file holds, so a write sends those and
// never fills a gap with zeros.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrune {

// The addresses the radio's memory is counted in.
inline constexpr uint32_t kImageAddressLimit = 0x100000;  // 20 bits

// A run of addresses: First, First + 1, ..., First + Length - 1.
struct AddressRange {
  uint32_t First = 0;
  uint32_t Length = 0;
  uint32_t End() const { return First + Length; }
  bool operator==(const AddressRange&) const = default;
};

// The result of loading an image file.
struct LoadedImage {
  // Each byte at the position equal to its address; positions the file does
  // not hold are zero.
  std::vector<uint8_t> image;
  // The addresses the file holds, ascending; ranges never touch or overlap.
  std::vector<AddressRange> ranges;
  // The lowest address the file holds, and the count up to its highest.
  uint32_t base = 0;
  uint32_t length = 0;
  // Set when a damaged record ended the load ("line 3: ..."); nothing may be
  // written then. image, base and length hold what was read until that point.
  std::optional<std::string> error;

  // base and length as the Memory page shows them: upper-case hex, no
  // leading zeros ("0" for zero).
  std::string BaseText() const;
  std::string LengthText() const;
};

// Upper-case hexadecimal without leading zeros; 0 gives "0".
std::string HexText(uint32_t value);

// The contents of a raw image file: the image bytes and nothing else.
std::vector<uint8_t> SaveRawImage(const std::vector<uint8_t>& image);

// The contents of an S-record file for image, whose byte i lies at address
// base + i. Throws std::length_error if the image passes 0xFFFFFF, which no
// S1 or S2 record can address.
std::string SaveSRecords(const std::vector<uint8_t>& image, uint32_t base);

// A raw image file loads as starting at address 0: base 0, length = size,
// one range.
LoadedImage LoadRawImage(std::vector<uint8_t> fileBytes);

// Reads S-record text (lines end at LF or CR LF; blanks around a line and
// empty lines do not count). Every other line must be a record: "S" (or "s")
// and a type digit. Data records are stored at their addresses; a damaged
// one, or a line that is no record, sets LoadedImage::error to
// "line N: <reason>" and ends the load. A file without data loads as base 0,
// length 0.
LoadedImage LoadSRecords(const std::string& text);

// Whether the text looks like S-record text (its first non-blank line starts
// like a record): for telling a file chosen in the wrong format.
bool LooksLikeSRecords(const std::string& text);

}  // namespace kestrune
