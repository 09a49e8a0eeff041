// Reading and writing the radio's memory: the frames of a transfer, and the
// two transfers as operations (Operation.h). Compare, verify and the
// checked write build on them in CheckedWrite.h.
//
// A transfer is framed by the SB9600 MEMORY ACCESS message, which opens and
// later closes memory access, and runs in SBEP mode (device 1). The data moves
// in SBEP read requests of up to 64 bytes and write requests of up to 32
// bytes, each one exchange of the engine; a chunk whose reply is not accepted
// is asked for again, three times at most. The closing (SBEP left, memory
// access closed) runs however the transfer ends: at its end, after a failed
// exchange, a refused range, an error thrown by the caller's callbacks, or a
// stop request, which is looked at before every chunk.
//
// Addresses are 20 bits wide. A range that does not lie within them (or,
// for a write, within the image) is refused with one log line; when the
// range is known before the opening, before anything is sent.
//
//   const TMemoryReadJob job{1, [&] { return TMemoryFields{"100", "10"}; }, {}};
//   if (auto read = ReadMemory(context, job)) Save(read->Image, read->Base);
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "console/core/MemoryImage.h"
#include "console/ops/Operation.h"

namespace kestrune {

inline constexpr uint32_t kMemoryAddressLimit = 0x100000;  // 20-bit addresses
inline constexpr uint32_t kSbepReadChunk = 64;
inline constexpr uint32_t kSbepWriteChunk = 32;
inline constexpr int kChunkTries = 3;
inline constexpr uint8_t kMemorySbepDevice = 1;
// Where the EEPROM keeps the two lengths whose sum is the "eeprom default" range.
inline constexpr uint32_t kCoreLengthAddress = 0x0002;
inline constexpr uint32_t kBonusLengthAddress = 0x02A6;

// The items of the Memory page's device list, in order.
enum TMemoryDeviceItem { EepromDefault, EepromCustom, Flash1, Flash2, Direct };
inline constexpr int kMemoryDeviceItems = 5;

struct TMemoryDevice {
  uint8_t Selector = 0x00;  // high nibble of the byte that carries address bits 19-16
  uint8_t Mode = 0;         // access mode of the MEMORY ACCESS message
  bool operator==(const TMemoryDevice&) const = default;
};

// Selector and access mode of a device item; any other item gives 0x00 and 0.
TMemoryDevice SelectMemoryDevice(int item);

// MEMORY ACCESS: 00, mode << 1 | opening, 01, 08 and the SB9600 check byte.
std::vector<uint8_t> BuildMemoryAccess(bool opening, uint8_t mode);
// F5 11 count selector|A19-16 A15-8 A7-0 checksum; count 1 to 64.
std::vector<uint8_t> BuildSbepReadRequest(uint8_t count, uint8_t selector, uint32_t address);
// FF 17 (count + 4 as 16 bits) selector|A19-16 A15-8 A7-0 data checksum;
// count 1 to 32.
std::vector<uint8_t> BuildSbepWriteRequest(const uint8_t* data, uint8_t count, uint8_t selector,
                                           uint32_t address);

// Sends MEMORY ACCESS in one exchange; true when it was echoed.
bool SendMemoryAccess(TSb9600& engine, bool opening, uint8_t mode);

// Base and length as the Memory page holds them: hexadecimal texts.
struct TMemoryFields {
  std::string Base;
  std::string Length;
};

struct TMemoryRange {
  int32_t Base = 0;
  int32_t Length = 0;
};

// Each text read as hexadecimal; throws EConvertError naming "$" and the text.
TMemoryRange ParseMemoryRange(const TMemoryFields& fields);
// Why the range cannot be transferred: outside the 20-bit addresses, or
// (imageSize given) outside the image. Nothing when it can.
std::optional<std::string> MemoryRangeError(TMemoryRange range,
                                            std::optional<size_t> imageSize = std::nullopt);

// As MemoryRangeError, and a length of 0 is refused for a read.
std::optional<std::string> MemoryReadRangeError(TMemoryRange range);

// The parts of [base, base + length) that lie in ranges; the whole of it
// when ranges is empty.
std::vector<AddressRange> RangePieces(const std::vector<AddressRange>& ranges, uint32_t base,
                                      uint32_t length);

// Bytes done of the whole, and the address the transfer has reached.
using TMemoryProgress = std::function<void(uint32_t done, uint32_t total, uint32_t address)>;

struct TMemoryReadJob {
  int Device = EepromDefault;
  // The base and length fields, asked for all items but "eeprom default".
  std::function<TMemoryFields()> Fields;
  TMemoryProgress Progress;
  // Only these parts of the fields' range are read (the rest of the image
  // stays zero); empty: all of it.
  std::vector<AddressRange> Ranges;
};

struct TMemoryReadResult {
  std::vector<uint8_t> Image;  // position i holds the byte at Base + i
  uint32_t Base = 0;
};

// Reads the range into an image. Nothing unless every chunk was read and no
// stop was requested.
std::optional<TMemoryReadResult> ReadMemory(TOperationContext& context, const TMemoryReadJob& job);

struct TMemoryWriteJob {
  int Device = EepromDefault;
  // Each byte at the position equal to its address.
  const std::vector<uint8_t>* Image = nullptr;
  // The base and length fields: the range of the image that is written.
  std::function<TMemoryFields()> Fields;
  TMemoryProgress Progress;
  // Only these parts of the fields' range are written, the addresses the
  // file holds; a chunk ends where its part ends. Empty: all of the range.
  std::vector<AddressRange> Ranges;
};

// Writes the range of the image; true when every chunk was accepted ("success"
// is logged). The radio keeps the chunks accepted before a failure.
bool WriteMemory(TOperationContext& context, const TMemoryWriteJob& job);

// The bytes the pieces hold together.
uint32_t TotalLength(const std::vector<AddressRange>& pieces);

// A write's range refused before the opening: when both fields are numbers
// and their range lies outside the addresses or the image, one line is
// logged and the answer is true. Texts that are no numbers are left to the
// transfer, which reports them after the opening.
bool WriteRangeRefused(TOperationContext& context, const TMemoryFields& fields, size_t imageSize);

}  // namespace kestrune
