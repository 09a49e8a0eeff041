// Reading and writing the radio's memory: the frames of a transfer, and the
// two transfers as operations (Operation.h).
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

// The radio's memory set against a file, over the addresses the file holds.
struct TMemoryComparison {
  uint32_t Compared = 0;                  // bytes compared
  std::vector<AddressRange> Differences;  // differing bytes, adjacent ones merged, ascending
  uint8_t FirstRadio = 0;                 // the radio's byte at the first difference
  uint8_t FirstFile = 0;                  // the file's byte there
  uint32_t DifferingBytes() const;
  bool Equal() const { return Differences.empty(); }
};

// Compares the radio's bytes (radio.Image[i] at radio.Base + i) with the
// file's (file[a] at address a) over pieces, which lie in both.
TMemoryComparison CompareImages(const TMemoryReadResult& radio, const std::vector<uint8_t>& file,
                                const std::vector<AddressRange>& pieces);

// Reads the job's range (only its Ranges when given) and compares it with
// the image, without writing. Nothing when the read failed or was stopped.
// "eeprom default" is read as the EEPROM over the fields' range.
std::optional<TMemoryComparison> CompareMemory(TOperationContext& context,
                                               const TMemoryWriteJob& job);

// The write chunks (kSbepWriteChunk bytes from each piece's start, the
// last one of a piece shorter) that hold a byte of differences: what a
// write that changes only what differs sends.
std::vector<AddressRange> ChangedChunks(const std::vector<AddressRange>& pieces,
                                        const std::vector<AddressRange>& differences);

// At most this many differing ranges are listed; the summary counts them all.
inline constexpr size_t kListedDifferences = 50;

// One line per differing range ("0100..011F  32 bytes"), at most
// kListedDifferences of them and a line for the rest, then the summary.
std::vector<std::string> ComparisonLines(const TMemoryComparison& comparison);

// The one line a failed verification reports: the first differing address
// with the radio's and the file's byte, and how many bytes differ.
std::string VerifyFailureLine(const TMemoryComparison& comparison);

// A write with the checks a technician makes around it, one operation for
// the window and kestrune-cli alike:
//   ChangedOnly  the file's ranges are read first and only the write chunks
//                that differ are written ("N chunks differ ..."); a file the
//                radio already holds writes nothing and says so;
//   Verify       what was written (with ChangedOnly: the written chunks) is
//                read back and compared ("verified: ..." when equal).
// Failures are returned, not logged, so each front end reports them its way.
struct TCheckedWriteOptions {
  bool ChangedOnly = false;
  bool Verify = false;
};

enum class TCheckedWriteEnd {
  Written,           // every chunk accepted (and, when asked, verified)
  NothingToWrite,    // ChangedOnly: the radio already holds the file
  ReadFirstFailed,   // ChangedOnly: the first read failed or was stopped; nothing written
  WriteFailed,       // a chunk was refused or a stop came; see BytesWritten
  VerifyReadFailed,  // the write went through, the read-back did not
  VerifyDiffers,     // the write went through, the radio differs: see Verification
};

struct TCheckedWriteResult {
  TCheckedWriteEnd End = TCheckedWriteEnd::Written;
  uint32_t BytesWritten = 0;  // accepted by the radio in the write
  uint32_t BytesToWrite = 0;
  std::optional<TMemoryComparison> Verification;  // VerifyDiffers: the differences
  bool Succeeded() const {
    return End == TCheckedWriteEnd::Written || End == TCheckedWriteEnd::NothingToWrite;
  }
};

// The job's Progress is called afresh for each read and for the write.
TCheckedWriteResult WriteMemoryChecked(TOperationContext& context, const TMemoryWriteJob& job,
                                       TCheckedWriteOptions options);

}  // namespace kestrune
