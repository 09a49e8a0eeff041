// Memory image files: raw images and Motorola S-records, as pure conversions
// between file contents and images. Opening, creating and choosing files is
// the caller's business.
//
// S-record files are written with S1 records (16-bit addresses) and the S9
// terminator "S9030000FC" when the whole image lies below 0x10000, otherwise
// with S2 records (24-bit addresses) and the S8 terminator "S804000000FB".
// Records carry up to 32 data bytes and end with CR LF; the terminator has no
// line end. The reader stores S1 and S2 records alike.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrune {

// The result of loading an image file.
struct LoadedImage {
  // Each byte at the position equal to its address; positions below the
  // lowest address are zero.
  std::vector<uint8_t> image;
  // The address the image is to be written from, and how many bytes.
  uint32_t base = 0;
  uint32_t length = 0;
  // Set when a conversion error (EConvertError's message) ended the load;
  // image, base and length then hold what was read until that point.
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

// A raw image file loads as starting at address 0: base 0, length = size.
LoadedImage LoadRawImage(std::vector<uint8_t> fileBytes);

// Reads S-record text (lines end at LF or CR LF). Lines shorter than 8
// characters are skipped; S1 and S2 records with a valid checksum are stored;
// other records and records with a bad checksum or too short for their count
// are skipped silently. The base is the lowest address of the stored data
// (a header record's address does not count); a file without data gets the
// address of its first line. A pair of characters that is not hex ends the
// load with the conversion error in LoadedImage::error.
LoadedImage LoadSRecords(const std::string& text);

}  // namespace kestrune
