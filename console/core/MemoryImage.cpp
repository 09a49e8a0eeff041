#include "console/core/MemoryImage.h"

#include "protocol/CRC16.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string_view>

namespace kestrune {

namespace {

constexpr size_t kBytesPerRecord = 32;
constexpr uint64_t kS1AddressLimit = 0x10000;
constexpr uint64_t kS2AddressLimit = 0x1000000;

void AppendHexByte(std::string& text, uint8_t b) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  text += kDigits[b >> 4];
  text += kDigits[b & 0x0F];
}

// One data record: count, address (addressBytes bytes, big-endian), data,
// and the complement of the byte sum of all of them, followed by CR LF.
std::string DataRecord(char type, int addressBytes, uint32_t address, const uint8_t* data,
                       size_t n) {
  std::vector<uint8_t> fields;
  fields.reserve(n + 4);
  fields.push_back(static_cast<uint8_t>(n + static_cast<size_t>(addressBytes) + 1));
  for (int shift = 8 * (addressBytes - 1); shift >= 0; shift -= 8)
    fields.push_back(static_cast<uint8_t>(address >> shift));
  fields.insert(fields.end(), data, data + n);
  const auto count = static_cast<int32_t>(fields.size());
  fields.push_back(InvertedByteSum(fields.data(), count));

  std::string record{'S', type};
  for (const uint8_t b : fields) AppendHexByte(record, b);
  record += "\r\n";
  return record;
}

std::string Hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

// Why a line cannot be loaded; caught by LoadSRecords, which adds the line.
class DamagedRecord : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string_view Trimmed(std::string_view line) {
  while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
  while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
  return line;
}

bool IsRecordStart(std::string_view line) {
  return line.size() >= 2 && (line[0] == 'S' || line[0] == 's') && line[1] >= '0' && line[1] <= '9';
}

// Address bytes of a data record type; 0 for the types that hold no data.
int AddressBytes(char type) {
  switch (type) {
    case '1': return 2;
    case '2': return 3;
    case '3': return 4;
    default: return 0;
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The record's bytes from the count on: every character after the type is
// a hex digit, two to a byte.
std::vector<uint8_t> RecordBytes(std::string_view digits) {
  for (size_t i = 0; i < digits.size(); ++i)
    if (HexDigit(digits[i]) < 0) {
      const auto c = static_cast<unsigned char>(digits[i]);
      throw DamagedRecord(c >= 0x20 && c < 0x7F
                              ? "'" + std::string(1, digits[i]) + "' is not a hex digit"
                              : "byte " + Hex(c, 2) + " is not a hex digit");
    }
  if (digits.size() % 2 != 0) throw DamagedRecord("the record is cut off (an odd digit count)");
  std::vector<uint8_t> bytes(digits.size() / 2);
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<uint8_t>(HexDigit(digits[2 * i]) << 4 | HexDigit(digits[2 * i + 1]));
  return bytes;
}

// Count, address, data, checksum: every field as the record announces it.
void CheckRecord(const std::vector<uint8_t>& bytes, int addressBytes) {
  if (bytes.empty()) throw DamagedRecord("the record is cut off before its count");
  const size_t count = bytes[0];
  const size_t held = bytes.size() - 1;
  if (held < count)
    throw DamagedRecord("the record is cut off: its count announces " + std::to_string(count) +
                        " bytes, the line holds " + std::to_string(held));
  if (held > count)
    throw DamagedRecord("the line holds " + std::to_string(held) +
                        " bytes after the count, which announces " + std::to_string(count));
  if (count < static_cast<size_t>(addressBytes) + 1)
    throw DamagedRecord("the count " + std::to_string(count) +
                        " is too small for the address and the checksum");
  const uint8_t sum = ByteSum(bytes.data(), static_cast<int32_t>(count));
  const auto expected = static_cast<uint8_t>(0xFF - sum);
  if (bytes.back() != expected)
    throw DamagedRecord("bad checksum: the record has " + Hex(bytes.back(), 2) +
                        ", its bytes give " + Hex(expected, 2));
}

uint32_t BigEndian(const std::vector<uint8_t>& bytes, size_t first, int count) {
  uint32_t value = 0;
  for (int i = 0; i < count; ++i) value = (value << 8) | bytes[first + static_cast<size_t>(i)];
  return value;
}

// The ranges in address order, those that touch or overlap joined.
std::vector<AddressRange> Joined(std::vector<AddressRange> ranges) {
  std::sort(ranges.begin(), ranges.end(),
            [](const AddressRange& a, const AddressRange& b) { return a.First < b.First; });
  std::vector<AddressRange> joined;
  for (const AddressRange& range : ranges) {
    if (!joined.empty() && range.First <= joined.back().End()) {
      const uint32_t end = std::max(joined.back().End(), range.End());
      joined.back().Length = end - joined.back().First;
    } else {
      joined.push_back(range);
    }
  }
  return joined;
}

class SRecordReader {
 public:
  void ReadLine(std::string_view rawLine) {
    const std::string_view line = Trimmed(rawLine);
    if (line.empty()) return;
    if (!IsRecordStart(line)) throw DamagedRecord("not an S-record");
    const int addressBytes = AddressBytes(line[1]);
    if (addressBytes == 0) return;  // header, count and terminator records hold no data
    const std::vector<uint8_t> bytes = RecordBytes(line.substr(2));
    CheckRecord(bytes, addressBytes);
    const uint32_t address = BigEndian(bytes, 1, addressBytes);
    const size_t dataStart = static_cast<size_t>(addressBytes) + 1;
    const size_t dataEnd = bytes.size() - 1;
    const size_t n = dataEnd - dataStart;
    if (uint64_t{address} + n > kImageAddressLimit)
      throw DamagedRecord("address " + Hex(address, 1) + " lies past the radio's addresses (0 to " +
                          Hex(kImageAddressLimit - 1, 1) + ")");
    if (n == 0) return;
    Store(address, bytes.begin() + static_cast<ptrdiff_t>(dataStart),
          bytes.begin() + static_cast<ptrdiff_t>(dataEnd));
  }

  void Finish(LoadedImage& result) {
    result.image = std::move(image_);
    result.ranges = Joined(std::move(ranges_));
    if (result.ranges.empty()) return;
    result.base = result.ranges.front().First;
    result.length = result.ranges.back().End() - result.base;
  }

 private:
  void Store(uint32_t address, std::vector<uint8_t>::const_iterator first,
             std::vector<uint8_t>::const_iterator last) {
    const auto n = static_cast<uint32_t>(last - first);
    if (image_.size() < address + n) image_.resize(address + n, 0);
    std::copy(first, last, image_.begin() + address);
    ranges_.push_back({address, n});
  }

  std::vector<uint8_t> image_;
  std::vector<AddressRange> ranges_;
};

}  // namespace

std::string HexText(uint32_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  do {
    text.insert(text.begin(), kDigits[value & 0x0F]);
    value >>= 4;
  } while (value != 0);
  return text;
}

std::string LoadedImage::BaseText() const { return HexText(base); }

std::string LoadedImage::LengthText() const { return HexText(length); }

std::vector<uint8_t> SaveRawImage(const std::vector<uint8_t>& image) { return image; }

std::string SaveSRecords(const std::vector<uint8_t>& image, uint32_t base) {
  const uint64_t end = uint64_t{base} + image.size();
  if (!image.empty() && end > kS2AddressLimit)
    throw std::length_error("memory image ends at 0x" + HexText(static_cast<uint32_t>(end - 1)) +
                            ", beyond the 24-bit addresses of S2 records");
  const bool wide = !image.empty() && end > kS1AddressLimit;
  const char type = wide ? '2' : '1';
  const int addressBytes = wide ? 3 : 2;

  std::string text;
  text.reserve(image.size() * 2 + (image.size() / kBytesPerRecord + 1) * 16 + 12);
  for (size_t p = 0; p < image.size(); p += kBytesPerRecord) {
    const size_t n = std::min(kBytesPerRecord, image.size() - p);
    text += DataRecord(type, addressBytes, base + static_cast<uint32_t>(p), image.data() + p, n);
  }
  text += wide ? "S804000000FB" : "S9030000FC";
  return text;
}

LoadedImage LoadRawImage(std::vector<uint8_t> fileBytes) {
  LoadedImage result;
  result.length = static_cast<uint32_t>(fileBytes.size());
  if (result.length != 0) result.ranges.push_back({0, result.length});
  result.image = std::move(fileBytes);
  return result;
}

LoadedImage LoadSRecords(const std::string& text) {
  SRecordReader reader;
  LoadedImage result;
  std::string_view rest = text;
  for (size_t number = 1; !rest.empty(); ++number) {
    const size_t lf = rest.find('\n');
    const std::string_view line = rest.substr(0, lf);
    rest.remove_prefix(lf == std::string_view::npos ? rest.size() : lf + 1);
    try {
      reader.ReadLine(line);
    } catch (const DamagedRecord& e) {
      result.error = "line " + std::to_string(number) + ": " + e.what();
      break;
    }
  }
  reader.Finish(result);
  return result;
}

bool LooksLikeSRecords(const std::string& text) {
  std::string_view rest = text;
  while (!rest.empty()) {
    const size_t lf = rest.find('\n');
    const std::string_view line = Trimmed(rest.substr(0, lf));
    if (!line.empty()) return IsRecordStart(line);
    rest.remove_prefix(lf == std::string_view::npos ? rest.size() : lf + 1);
  }
  return false;
}

}  // namespace kestrune
