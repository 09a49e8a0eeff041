// Memory image files: any S-record text loads without harm, and an image
// written as S-records or raw loads back byte for byte at its address.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "console/core/MemoryImage.h"

namespace kestrune::fuzz {
namespace {

constexpr uint64_t kAddressLimit = kImageAddressLimit;  // the radio's 20-bit addresses

// An image written from `base` loads back as the same bytes at base.
void WrittenImageLoadsBack(const std::vector<uint8_t>& bytes, uint32_t base) {
  if (base + uint64_t{bytes.size()} > kAddressLimit) return;
  const LoadedImage loaded = LoadSRecords(SaveSRecords(bytes, base));
  Require(!loaded.error, "a written S-record file loads without error");
  if (bytes.empty()) {
    Require(loaded.length == 0, "an empty image loads empty");
    return;
  }
  Require(loaded.base == base, "the base comes back");
  Require(loaded.length == bytes.size(), "the length comes back");
  Require(std::equal(bytes.begin(), bytes.end(), loaded.image.begin() + base, loaded.image.end()),
          "the bytes come back at their addresses");

  const LoadedImage raw = LoadRawImage(SaveRawImage(bytes));
  Require(raw.image == bytes && raw.base == 0 && raw.length == bytes.size(),
          "a raw image loads back from address 0");
}

// Any text: the result is consistent, and what loaded writes and loads back.
void AnyTextLoads(const std::string& text) {
  const LoadedImage loaded = LoadSRecords(text);
  for (size_t i = 0; i < loaded.ranges.size(); ++i) {
    const AddressRange& range = loaded.ranges[i];
    Require(range.Length > 0 && range.End() <= loaded.image.size(), "a range lies in the image");
    Require(i == 0 || loaded.ranges[i - 1].End() < range.First, "ranges ascend and never touch");
  }
  if (!loaded.error && loaded.length > 0) {
    Require(uint64_t{loaded.base} + loaded.length == loaded.image.size(),
            "base and length cover the image");
    const std::vector<uint8_t> data(loaded.image.begin() + loaded.base, loaded.image.end());
    WrittenImageLoadsBack(data, loaded.base);
  }
}

}  // namespace
}  // namespace kestrune::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kestrune::fuzz;
  if (size == 0) return 0;
  // The first byte chooses: S-record text, or an image and its base.
  if (data[0] & 1) {
    AnyTextLoads(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
  } else if (size >= 4) {
    // 20-bit addresses, as the radio's flash areas have: S1 and S2 records.
    const uint32_t base = ((uint32_t{data[1]} & 0x0F) << 16) | (uint32_t{data[2]} << 8) | data[3];
    WrittenImageLoadsBack(std::vector<uint8_t>(data + 4, data + size), base);
  }
  return 0;
}
