#include "console/ops/CheckedWrite.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "console/core/TextFile.h"
#include "console/ops/TextFormat.h"

namespace kestrune {

namespace {

// "eeprom default" would ask the radio for its range; a write's range is the
// file's, in the same space.
int DeviceOfFileRange(int device) { return device == EepromDefault ? EepromCustom : device; }

}  // namespace

uint32_t TMemoryComparison::DifferingBytes() const { return TotalLength(Differences); }

TMemoryComparison CompareImages(const TMemoryReadResult& radio, const std::vector<uint8_t>& file,
                                const std::vector<AddressRange>& pieces) {
  TMemoryComparison comparison;
  for (const AddressRange& piece : pieces) {
    comparison.Compared += piece.Length;
    for (uint32_t address = piece.First; address < piece.End(); ++address) {
      const uint8_t radioByte = radio.Image[address - radio.Base];
      if (radioByte == file[address]) continue;
      auto& differences = comparison.Differences;
      if (differences.empty()) {
        comparison.FirstRadio = radioByte;
        comparison.FirstFile = file[address];
      }
      if (!differences.empty() && differences.back().End() == address)
        ++differences.back().Length;
      else
        differences.push_back({address, 1});
    }
  }
  return comparison;
}

std::optional<TMemoryComparison> CompareMemory(TOperationContext& context,
                                               const TMemoryWriteJob& job) {
  static const std::vector<uint8_t> kNoImage;
  const std::vector<uint8_t>& image = job.Image ? *job.Image : kNoImage;
  const TMemoryFields fields = job.Fields();
  if (WriteRangeRefused(context, fields, image.size())) return std::nullopt;
  const auto read = ReadMemory(
      context, {DeviceOfFileRange(job.Device), [&] { return fields; }, job.Progress, job.Ranges});
  if (!read) return std::nullopt;
  return CompareImages(
      *read, image, RangePieces(job.Ranges, read->Base, static_cast<uint32_t>(read->Image.size())));
}

std::vector<AddressRange> ChangedChunks(const std::vector<AddressRange>& pieces,
                                        const std::vector<AddressRange>& differences) {
  std::vector<AddressRange> chunks;
  auto difference = differences.begin();
  for (const AddressRange& piece : pieces) {
    for (uint32_t first = piece.First; first < piece.End(); first += kSbepWriteChunk) {
      const uint32_t end = std::min(first + kSbepWriteChunk, piece.End());
      while (difference != differences.end() && difference->End() <= first) ++difference;
      if (difference == differences.end()) return chunks;
      if (difference->First < end) chunks.push_back({first, end - first});
    }
  }
  return chunks;
}

std::vector<std::string> ComparisonLines(const TMemoryComparison& comparison) {
  std::vector<std::string> lines;
  const auto& differences = comparison.Differences;
  for (size_t i = 0; i < differences.size() && i < kListedDifferences; ++i)
    lines.push_back(Format("%.4X..%.4X  %u byte%s", differences[i].First, differences[i].End() - 1,
                           differences[i].Length, differences[i].Length == 1 ? "" : "s"));
  if (differences.size() > kListedDifferences)
    lines.push_back(Format("... and %zu more ranges", differences.size() - kListedDifferences));
  if (comparison.Equal())
    lines.push_back(Format("equal: the radio holds the file's %u bytes", comparison.Compared));
  else
    lines.push_back(Format("differ: %u of %u bytes in %zu ranges", comparison.DifferingBytes(),
                           comparison.Compared, differences.size()));
  return lines;
}

std::string VerifyFailureLine(const TMemoryComparison& comparison) {
  if (comparison.Equal()) return {};
  const uint32_t differing = comparison.DifferingBytes();
  return Format(
      "verify: the radio holds %.2X at %X where the file has %.2X (first difference); "
      "%u %s",
      comparison.FirstRadio, comparison.Differences.front().First, comparison.FirstFile, differing,
      differing == 1 ? "byte differs" : "bytes differ");
}

std::string BackupFileName(int device, uint32_t base, uint32_t length, const std::tm& when) {
  static const char* const kNames[kMemoryDeviceItems]{"eeprom", "eeprom", "flash1", "flash2",
                                                      "direct"};
  const char* name = device >= 0 && device < kMemoryDeviceItems ? kNames[device] : "memory";
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d_%H%M%S", &when);
  return Format("%s-%X-%X-%s.s19", name, base, length, stamp);
}

namespace {

// A name in the folder that no file has yet: two backups in one second must
// not replace each other.
std::string FreeBackupPath(const std::string& folder, const std::string& name) {
  namespace fs = std::filesystem;
  const fs::path first = fs::path(folder) / name;
  fs::path path = first;
  for (int n = 2; fs::exists(path); ++n)
    path = first.parent_path() / (first.stem().string() + "-" + std::to_string(n) + ".s19");
  return path.string();
}

// The backup's file, made sure of before the read: reading a flash area
// takes half an hour, and a folder that cannot take the file should say so
// first. Empty, with result's BackupError set, when it cannot.
std::string PrepareBackupPath(const TCheckedWriteOptions& options, const TMemoryWriteJob& job,
                              TMemoryRange range, TCheckedWriteResult& result) {
  const std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);  // only the operation's thread asks
  const std::string name =
      BackupFileName(job.Device, static_cast<uint32_t>(range.Base),
                     static_cast<uint32_t>(range.Length), local ? *local : std::tm{});
  std::error_code ignored;  // a folder that cannot be made fails the check below
  std::filesystem::create_directories(options.BackupFolder, ignored);
  const std::string path = FreeBackupPath(options.BackupFolder, name);
  try {
    CheckWritableFile(path);
    return path;
  } catch (const EFileError& e) {
    result.BackupError = e.what();
    return {};
  }
}

// Reads the job's whole range and saves it as the backup. The read, or
// nothing when the backup could not be made (result's End says why).
std::optional<TMemoryReadResult> MakeBackup(TOperationContext& context, const TMemoryWriteJob& job,
                                            const TCheckedWriteOptions& options,
                                            TCheckedWriteResult& result) {
  const TMemoryFields fields = job.Fields();
  const TMemoryRange range = ParseMemoryRange(fields);
  const std::string path = PrepareBackupPath(options, job, range, result);
  if (path.empty()) {
    result.End = TCheckedWriteEnd::BackupFailed;
    return std::nullopt;
  }
  auto read = ReadMemory(context,
                         {DeviceOfFileRange(job.Device), [&] { return fields; }, job.Progress, {}});
  if (!read) {
    result.End = TCheckedWriteEnd::ReadFirstFailed;
    return std::nullopt;
  }
  try {
    WriteWholeFile(path, SaveSRecords(read->Image, read->Base));
  } catch (const EFileError& e) {
    result.BackupError = e.what();
    result.End = TCheckedWriteEnd::BackupFailed;
    return std::nullopt;
  }
  result.BackupFile = path;
  context.Log("backup: " + path + " holds the radio's " +
              HexText(static_cast<uint32_t>(range.Length)) + " bytes from " +
              HexText(static_cast<uint32_t>(range.Base)) + " before the write");
  return read;
}

// The write chunks of the job's ranges that differ from the radio (read
// now, or given as before), logged; nothing when the read failed.
std::optional<std::vector<AddressRange>> ChangedChunksOf(
    TOperationContext& context, const TMemoryWriteJob& job,
    const std::optional<TMemoryReadResult>& before) {
  const TMemoryRange range = ParseMemoryRange(job.Fields());
  const auto pieces = RangePieces(job.Ranges, static_cast<uint32_t>(range.Base),
                                  static_cast<uint32_t>(range.Length));
  const auto comparison = before ? std::optional(CompareImages(*before, *job.Image, pieces))
                                 : CompareMemory(context, job);
  if (!comparison) return std::nullopt;
  std::vector<AddressRange> chunks = ChangedChunks(pieces, comparison->Differences);
  if (!chunks.empty())
    context.Log(std::to_string(chunks.size()) + " chunks differ from the radio and are written");
  return chunks;
}

}  // namespace

TCheckedWriteResult WriteMemoryChecked(TOperationContext& context, const TMemoryWriteJob& job,
                                       TCheckedWriteOptions options) {
  TCheckedWriteResult result;
  TMemoryWriteJob write = job;
  std::optional<TMemoryReadResult> before;
  if (!options.BackupFolder.empty()) {
    if (WriteRangeRefused(context, job.Fields(), job.Image ? job.Image->size() : 0)) {
      result.End = TCheckedWriteEnd::ReadFirstFailed;
      return result;
    }
    before = MakeBackup(context, job, options, result);
    if (!before) return result;
  }
  if (options.ChangedOnly) {
    const auto chunks = ChangedChunksOf(context, job, before);
    if (!chunks) {
      result.End = TCheckedWriteEnd::ReadFirstFailed;
      return result;
    }
    if (chunks->empty()) {
      context.Log("the radio already holds the file: nothing written");
      result.End = TCheckedWriteEnd::NothingToWrite;
      return result;
    }
    write.Ranges = *chunks;
  }
  write.Progress = [&](uint32_t done, uint32_t total, uint32_t address) {
    result.BytesWritten = done;
    result.BytesToWrite = total;
    if (job.Progress) job.Progress(done, total, address);
  };
  if (!WriteMemory(context, write)) {
    result.End = TCheckedWriteEnd::WriteFailed;
    return result;
  }
  if (!options.Verify || context.Stopping()) return result;
  write.Progress = job.Progress;
  auto comparison = CompareMemory(context, write);
  if (!comparison) {
    result.End = TCheckedWriteEnd::VerifyReadFailed;
  } else if (!comparison->Equal()) {
    result.End = TCheckedWriteEnd::VerifyDiffers;
    result.Verification = std::move(comparison);
  } else {
    context.Log("verified: " + HexText(comparison->Compared) + " bytes from " + job.Fields().Base +
                " are as in the file");
  }
  return result;
}

}  // namespace kestrune
