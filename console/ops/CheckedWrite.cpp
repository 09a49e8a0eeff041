#include "console/ops/CheckedWrite.h"

#include <algorithm>

#include "console/ops/TextFormat.h"

namespace kestrune {

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
  // "eeprom default" would ask the radio for its range; the range here is
  // the file's, in the same space.
  const int device = job.Device == EepromDefault ? EepromCustom : job.Device;
  const auto read = ReadMemory(context, {device, [&] { return fields; }, job.Progress, job.Ranges});
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

namespace {

// The write chunks of the job's ranges that differ from the radio, logged;
// nothing when the read failed.
std::optional<std::vector<AddressRange>> ChangedChunksOf(TOperationContext& context,
                                                         const TMemoryWriteJob& job) {
  const auto comparison = CompareMemory(context, job);
  if (!comparison) return std::nullopt;
  const TMemoryRange range = ParseMemoryRange(job.Fields());
  const auto pieces = RangePieces(job.Ranges, static_cast<uint32_t>(range.Base),
                                  static_cast<uint32_t>(range.Length));
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
  if (options.ChangedOnly) {
    const auto chunks = ChangedChunksOf(context, job);
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
