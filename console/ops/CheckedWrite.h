// The checks a technician makes around a memory write, on top of the
// transfers of MemoryTransfer.h: comparing the radio's memory with an image
// file, writing only the chunks that differ, and reading back what was
// written. Each is one operation, driven alike by the Memory page and
// kestrune-cli.
//
//   const TMemoryWriteJob job{EepromCustom, &loaded.image, fields, {}, loaded.ranges};
//   if (auto comparison = CompareMemory(context, job))
//     for (const std::string& line : ComparisonLines(*comparison)) Log(line);
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "console/core/MemoryImage.h"
#include "console/ops/MemoryTransfer.h"
#include "console/ops/Operation.h"

namespace kestrune {

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
//                read back and compared ("verified: ..." when equal);
//   BackupFolder when given, the job's whole range is read first and saved
//                there as S-records (BackupFileName) before anything is
//                written ("backup: ..."); a backup that cannot be saved ends
//                the write with nothing written. ChangedOnly then compares
//                against this read instead of reading again.
// Failures are returned, not logged, so each front end reports them its way.
struct TCheckedWriteOptions {
  bool ChangedOnly = false;
  bool Verify = false;
  std::string BackupFolder;  // with or without a trailing '/'; empty: no backup
};

// "<device>-<base>-<length>-<yyyymmdd_hhnnss>.s19", base and length in hex,
// the device as kestrune-cli names it ("eeprom" for both EEPROM items).
std::string BackupFileName(int device, uint32_t base, uint32_t length, const std::tm& when);

enum class TCheckedWriteEnd {
  Written,           // every chunk accepted (and, when asked, verified)
  NothingToWrite,    // ChangedOnly: the radio already holds the file
  ReadFirstFailed,   // ChangedOnly: the first read failed or was stopped; nothing written
  WriteFailed,       // a chunk was refused or a stop came; see BytesWritten
  VerifyReadFailed,  // the write went through, the read-back did not
  VerifyDiffers,     // the write went through, the radio differs: see Verification
  BackupFailed,      // the backup could not be saved (see BackupError); nothing written
};

struct TCheckedWriteResult {
  TCheckedWriteEnd End = TCheckedWriteEnd::Written;
  uint32_t BytesWritten = 0;  // accepted by the radio in the write
  uint32_t BytesToWrite = 0;
  std::optional<TMemoryComparison> Verification;  // VerifyDiffers: the differences
  std::string BackupFile;   // the saved backup: the radio's content before the write
  std::string BackupError;  // BackupFailed: why
  bool Succeeded() const {
    return End == TCheckedWriteEnd::Written || End == TCheckedWriteEnd::NothingToWrite;
  }
};

// The job's Progress is called afresh for each read and for the write.
TCheckedWriteResult WriteMemoryChecked(TOperationContext& context, const TMemoryWriteJob& job,
                                       TCheckedWriteOptions options);

}  // namespace kestrune
