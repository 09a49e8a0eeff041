#include "console/core/MemoryImage.h"

#include "console/core/IntConv.h"
#include "protocol/CRC16.h"

#include <algorithm>
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

// The bytes of one line from its third character on, two hex digits each;
// a lone character at the end is ignored. Throws EConvertError.
std::vector<uint8_t> LinePairs(std::string_view line) {
  std::vector<uint8_t> bytes;
  const size_t pairs = line.size() / 2 - 1;
  bytes.reserve(pairs);
  for (size_t i = 0; i < pairs; ++i)
    bytes.push_back(static_cast<uint8_t>(HexToInt(std::string(line.substr(2 + 2 * i, 2)))));
  return bytes;
}

// Number of address bytes of a data record type; 0 for other records.
int DataRecordAddressBytes(std::string_view line) {
  if (line.starts_with("S1")) return 2;
  if (line.starts_with("S2")) return 3;
  return 0;
}

uint32_t BigEndian(const std::vector<uint8_t>& bytes, size_t first, int count) {
  uint32_t value = 0;
  for (int i = 0; i < count; ++i) value = (value << 8) | bytes[first + static_cast<size_t>(i)];
  return value;
}

// A record is stored when the line holds count bytes after the count byte and
// the count byte and those bytes sum to 0xFF.
bool RecordIsSound(const std::vector<uint8_t>& bytes) {
  const size_t count = bytes[0];
  if (bytes.size() - 1 < count) return false;
  return ByteSum(bytes.data(), static_cast<int32_t>(count + 1)) == 0xFF;
}

class SRecordReader {
 public:
  void ReadLine(std::string_view line) {
    if (line.size() < 8) return;  // too short for a type, a count and an address
    const std::vector<uint8_t> bytes = LinePairs(line);
    const int addressBytes = DataRecordAddressBytes(line);
    const int addressWidth = addressBytes == 3 ? 3 : 2;
    if (bytes.size() < static_cast<size_t>(addressWidth) + 1) return;  // S2 line too short
    const uint32_t address = BigEndian(bytes, 1, addressWidth);
    if (!firstLineAddress_) firstLineAddress_ = address;
    if (addressBytes == 0 || !RecordIsSound(bytes)) return;
    const size_t dataStart = static_cast<size_t>(addressBytes) + 1;
    if (bytes[0] <= dataStart) return;  // no data bytes
    Store(address, bytes.begin() + static_cast<ptrdiff_t>(dataStart), bytes.begin() + bytes[0]);
  }

  void Finish(LoadedImage& result) {
    result.image = std::move(image_);
    // The base is where the data starts. Taking it from a header record
    // (tools write S0 with address 0000) would make a write fill the gap
    // below the data with zeros, and taking it from the first record would
    // skip records stored out of order below it. Only a file without data
    // takes the first line's address.
    result.base = lowestStored_ ? *lowestStored_ : firstLineAddress_.value_or(0);
    result.length = result.image.size() > result.base
                        ? static_cast<uint32_t>(result.image.size() - result.base)
                        : 0;
  }

 private:
  void Store(uint32_t address, std::vector<uint8_t>::const_iterator first,
             std::vector<uint8_t>::const_iterator last) {
    const size_t end = address + static_cast<size_t>(last - first);
    if (image_.size() < end) image_.resize(end, 0);
    std::copy(first, last, image_.begin() + address);
    lowestStored_ = std::min(lowestStored_.value_or(address), address);
  }

  std::vector<uint8_t> image_;
  std::optional<uint32_t> firstLineAddress_;
  std::optional<uint32_t> lowestStored_;
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
  result.image = std::move(fileBytes);
  return result;
}

LoadedImage LoadSRecords(const std::string& text) {
  SRecordReader reader;
  LoadedImage result;
  std::string_view rest = text;
  try {
    while (!rest.empty()) {
      const size_t lf = rest.find('\n');
      std::string_view line = rest.substr(0, lf);
      rest.remove_prefix(lf == std::string_view::npos ? rest.size() : lf + 1);
      if (line.ends_with('\r')) line.remove_suffix(1);
      reader.ReadLine(line);
    }
  } catch (const EConvertError& e) {
    result.error = e.what();
  }
  reader.Finish(result);
  return result;
}

}  // namespace kestrune
