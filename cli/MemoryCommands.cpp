// read and write: the Memory page's transfers, with the file named on the
// command line instead of chosen in a dialog.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>

#include "cli/CliOptions.h"
#include "cli/CommandKit.h"
#include "cli/PortSetup.h"
#include "cli/ProgressMeter.h"
#include "console/core/FilePlaces.h"
#include "console/core/MemoryImage.h"
#include "console/core/TextFile.h"
#include "console/ops/CheckedWrite.h"
#include "console/ops/MemoryTransfer.h"

namespace kestrune::cli {

namespace {

struct TDeviceName {
  const char* Name;
  int Item;
};

constexpr TDeviceName kDeviceNames[]{{"eeprom-default", EepromDefault},
                                     {"eeprom", EepromCustom},
                                     {"flash1", Flash1},
                                     {"flash2", Flash2},
                                     {"direct", Direct}};

std::string DeviceChoices() {
  std::string choices;
  for (const TDeviceName& device : kDeviceNames)
    choices += (choices.empty() ? "" : ", ") + std::string(device.Name);
  return choices;
}

int DeviceItem(const std::string& command, const std::vector<std::string>& words) {
  if (words.empty())
    throw EUsageError(command + ": which memory? DEVICE is one of " + DeviceChoices(), command);
  for (const TDeviceName& device : kDeviceNames)
    if (words[0] == device.Name) return device.Item;
  throw EUsageError(
      command + ": '" + words[0] + "' is no memory device; DEVICE is one of " + DeviceChoices(),
      command);
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%X", value);
  return text;
}

// Refuses a range the transfer would refuse, before the port opens.
void CheckRange(const std::string& command, TMemoryRange range,
                std::optional<size_t> imageSize = std::nullopt) {
  if (const auto error = MemoryRangeError(range, imageSize))
    throw EUsageError(command + ": " + *error, command);
}

// The image can be saved where the operator asked: a read of a flash area
// takes half an hour, so this is known before it starts.
void CheckOutputFile(const std::string& path) {
  try {
    CheckWritableFile(path);
  } catch (const EFileError& e) {
    throw EUsageError(std::string("read: ") + e.what(), "read");
  }
}

// Draws the progress line from the transfer's reports; it knows the total
// only from the first one.
class TTransferMeter {
 public:
  explicit TTransferMeter(TCliOutput& output) : output_(output) {}

  TMemoryProgress Callback() {
    return [this](uint32_t done, uint32_t total, uint32_t) {
      // A checked write reports its read, write and read-back in turn.
      if (!meter_ || total != total_ || done < done_) {
        meter_.reset();
        meter_.emplace(output_, total);
      }
      meter_->Update(done);
      done_ = done;
      total_ = total;
    };
  }
  void End() { meter_.reset(); }
  uint32_t Done() const { return done_; }
  uint32_t Total() const { return total_; }

 private:
  TCliOutput& output_;
  std::optional<TProgressMeter> meter_;
  uint32_t done_ = 0;
  uint32_t total_ = 0;
};

// ---------------------------------------------------------------- read

TOutcome RunRead(TRunContext& run, const TReadRequest& request) {
  TTransferMeter meter(run.Output);
  const TMemoryReadJob job{request.Device, [&] { return request.Fields; }, meter.Callback(), {}};
  const auto read = ReadMemory(run.Operation, job);
  meter.End();
  if (!read) {
    // A stop is reported by the caller; the operation has logged where.
    if (!run.Operation.Stopping()) run.Output.Error("the read failed; nothing was saved");
    return TOutcome::Failed;
  }
  WriteWholeFile(request.OutFile, request.SRecords
                                      ? SaveSRecords(read->Image, read->Base)
                                      : std::string(read->Image.begin(), read->Image.end()));
  return TOutcome::Done;
}

// --------------------------------------------------------------- write

TMemoryWriteJob CompareJob(const TWriteRequest& request, TTransferMeter& meter) {
  return {request.Device, &request.Image.image, [&] { return request.Fields; }, meter.Callback(),
          request.Image.ranges};
}

// The differing ranges and the summary as log lines; Failed when the radio
// and the file differ, so that the exit status tells.
TOutcome RunCompare(TRunContext& run, const TWriteRequest& request) {
  TTransferMeter meter(run.Output);
  const auto comparison = CompareMemory(run.Operation, CompareJob(request, meter));
  meter.End();
  if (!comparison) {
    if (!run.Operation.Stopping()) run.Output.Error("compare: reading the range failed");
    return TOutcome::Failed;
  }
  for (const std::string& line : ComparisonLines(*comparison)) run.Operation.Log(line);
  return comparison->Equal() ? TOutcome::Done : TOutcome::Failed;
}

// What a failed write left in the radio, for its error line, and where the
// radio's content before it was saved.
std::string WriteFailureLine(const TCheckedWriteResult& result, bool stopped) {
  const std::string radio = result.BytesWritten > 0
                                ? "the radio's memory is partly written (" +
                                      std::to_string(result.BytesWritten) + " of " +
                                      std::to_string(result.BytesToWrite) + " bytes)"
                                : "nothing was written";
  const std::string backup =
      result.BackupFile.empty() ? "" : "; its previous content is in " + result.BackupFile;
  return (stopped ? "the write was stopped: " : "the write failed: ") + radio + backup;
}

TOutcome RunWrite(TRunContext& run, const TWriteRequest& request) {
  TTransferMeter meter(run.Output);
  const TMemoryWriteJob job{request.Device, &request.Image.image, [&] { return request.Fields; },
                            meter.Callback(), request.Image.ranges};
  const TCheckedWriteResult result = WriteMemoryChecked(
      run.Operation, job, {request.ChangedOnly, request.Verify, request.BackupFolder});
  meter.End();
  const bool stopped = run.Operation.Stopping();
  switch (result.End) {
    case TCheckedWriteEnd::Written:
    case TCheckedWriteEnd::NothingToWrite: return TOutcome::Done;
    case TCheckedWriteEnd::BackupFailed:
      run.Output.Error("the write failed: the backup could not be saved (" + result.BackupError +
                       "); nothing was written");
      break;
    case TCheckedWriteEnd::ReadFirstFailed:
      if (!stopped)
        run.Output.Error("the write failed: reading the radio first failed; nothing was written");
      break;
    case TCheckedWriteEnd::WriteFailed: run.Output.Error(WriteFailureLine(result, stopped)); break;
    case TCheckedWriteEnd::VerifyReadFailed:
      if (!stopped) run.Output.Error("verify: reading the range back failed");
      break;
    case TCheckedWriteEnd::VerifyDiffers:
      run.Output.Error(VerifyFailureLine(*result.Verification));
      break;
  }
  return TOutcome::Failed;
}

// --format, when given: true for srec, false for raw.
std::optional<bool> FormatOption(const TCommandArgs& scanned, const std::string& command) {
  const auto format = scanned.Value("--format");
  if (!format) return std::nullopt;
  if (*format == "srec") return true;
  if (*format == "raw") return false;
  throw EUsageError(command + ": --format takes raw or srec, not '" + *format + "'", command);
}

// The format the file's name gives must be the one its content has: S-record
// text written as a raw image would put the text itself into the radio.
void CheckContentMatchesName(const std::string& file, const std::string& bytes, bool sRecords) {
  if (bytes.empty() || LooksLikeSRecords(bytes) == sRecords) return;
  throw EUsageError(sRecords ? "write: " + file +
                                   " is named as S-records but holds no S-record text; give "
                                   "--format raw to write it as a raw image"
                             : "write: " + file +
                                   " holds S-record text but is named as a raw image; give "
                                   "--format srec to read it as S-records (or --format raw to "
                                   "write the text itself)",
                    "write");
}

}  // namespace

bool IsSRecordFileName(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == ".s19" || extension == ".srec" || extension == ".mot";
}

TReadRequest ReadReadRequest(const std::vector<std::string>& args) {
  const TCommandArgs scanned = ScanCommandArgs(
      "read", args,
      {{"--base", true}, {"--length", true}, {"-o", true}, {"--output", true}, {"--format", true}});
  TReadRequest request;
  request.Device = DeviceItem("read", scanned.Words);
  if (scanned.Words.size() > 1)
    throw EUsageError("read: one DEVICE, please; the file goes after -o", "read");
  if (scanned.Has("-o") && scanned.Has("--output"))
    throw EUsageError("read: -o and --output both name the file; give one of them", "read");
  const auto out = scanned.Has("-o") ? scanned.Value("-o") : scanned.Value("--output");
  if (!out || out->empty())
    throw EUsageError("read: -o FILE is missing: where to save the image", "read");
  request.OutFile = *out;
  request.SRecords = FormatOption(scanned, "read").value_or(IsSRecordFileName(request.OutFile));

  const bool fromRadio = request.Device == EepromDefault;
  if (fromRadio && (scanned.Has("--base") || scanned.Has("--length")))
    throw EUsageError(
        "read: eeprom-default takes its range from the radio; read eeprom with --base and "
        "--length for another range",
        "read");
  if (!fromRadio) {
    if (!scanned.Has("--length"))
      throw EUsageError("read: " + scanned.Words[0] +
                            " needs --length HEX (and --base HEX, 0 by "
                            "default)",
                        "read");
    const uint32_t base =
        ParseHex(scanned.Value("--base").value_or("0"), 0xFFFFFFFF, "base", "read");
    const uint32_t length = ParseHex(*scanned.Value("--length"), 0xFFFFFFFF, "length", "read");
    if (length == 0)
      throw EUsageError("read: a length of 0 reads nothing; nothing would be saved", "read");
    CheckRange("read", {static_cast<int32_t>(base), static_cast<int32_t>(length)});
    request.Fields = {Hex(base), Hex(length)};
  }
  CheckOutputFile(request.OutFile);
  return request;
}

namespace {

// --backup-dir, or the backups folder beside the logs; empty for --no-backup.
std::string BackupFolder(const TCommandArgs& scanned) {
  const auto folder = scanned.Value("--backup-dir");
  if (scanned.Has("--no-backup")) {
    if (folder)
      throw EUsageError("write: --no-backup and --backup-dir contradict each other", "write");
    return {};
  }
  if (folder && folder->empty()) throw EUsageError("write: --backup-dir needs a folder", "write");
  return folder ? *folder : LocateFiles(ProgramDir(), ProcessEnvironment()).BackupDir;
}

// write and compare take the same words: a device and an image file.
TWriteRequest ReadImageRequest(const std::string& command, const std::vector<std::string>& args) {
  const TCommandArgs scanned =
      ScanCommandArgs(command, args,
                      command == "write" ? std::map<std::string, bool>{{"--verify", false},
                                                                       {"--changed-only", false},
                                                                       {"--no-backup", false},
                                                                       {"--backup-dir", true},
                                                                       {"--format", true}}
                                         : std::map<std::string, bool>{{"--format", true}});
  TWriteRequest request;
  request.Device = DeviceItem(command, scanned.Words);
  if (scanned.Words.size() != 2)
    throw EUsageError(scanned.Words.size() < 2
                          ? command + ": FILE is missing: the image to " + command + " with"
                          : command + ": one DEVICE and one FILE, please",
                      command);
  request.File = scanned.Words[1];
  request.Verify = scanned.Has("--verify");
  request.ChangedOnly = scanned.Has("--changed-only");
  if (command == "write") request.BackupFolder = BackupFolder(scanned);
  std::string bytes;
  try {
    bytes = ReadWholeFile(request.File);
  } catch (const EFileError& e) {
    throw EUsageError(command + ": " + e.what(), command);
  }
  const std::optional<bool> format = FormatOption(scanned, command);
  const bool sRecords = format.value_or(IsSRecordFileName(request.File));
  if (!format) CheckContentMatchesName(request.File, bytes, sRecords);
  request.Image = sRecords ? LoadSRecords(bytes)
                           : LoadRawImage(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  if (request.Image.error)
    throw EUsageError(command + ": " + request.File + ": " + *request.Image.error +
                          (command == "write" ? "; nothing written" : ""),
                      command);
  if (request.Image.length == 0)
    throw EUsageError(command + ": " + request.File + " holds no image", command);
  CheckRange(command,
             {static_cast<int32_t>(request.Image.base), static_cast<int32_t>(request.Image.length)},
             request.Image.image.size());
  request.Fields = {request.Image.BaseText(), request.Image.LengthText()};
  return request;
}

}  // namespace

TWriteRequest ReadWriteRequest(const std::vector<std::string>& args) {
  return ReadImageRequest("write", args);
}

TWriteRequest ReadCompareRequest(const std::vector<std::string>& args) {
  return ReadImageRequest("compare", args);
}

TCommand ReadCommand() {
  return {"read", "read DEVICE [--base HEX --length HEX] -o FILE [--format raw|srec]",
          "read an area of the radio's memory into a file",
          R"(Reads an area of the radio's memory as the Memory page's "Read" does and
saves it in FILE, which is written only when the whole area was read (and
replaced at once, never left half-written).

DEVICE is one of the Memory page's items:
  eeprom-default         the EEPROM, its range taken from the radio
  eeprom                 the EEPROM, from --base for --length bytes
  flash1, flash2         the two flash areas
  direct                 the direct space

  --base HEX             the first address, hexadecimal (default 0)
  --length HEX           the number of bytes, hexadecimal; needed for every
                         DEVICE but eeprom-default. Addresses are 20 bits
                         wide: base + length may not pass 100000
  -o FILE, --output FILE where to save the image. FILE ending in .s19, .srec
                         or .mot is written as S-records (S1, or S2 from
                         address 10000 on), anything else as a raw image.
                         It is checked before the read: a file that cannot
                         be written (read-only, a folder, a device) is
                         refused, and so is a --length of 0
  --format raw|srec      the format, whatever the name says

On a terminal, standard error shows the bytes done, the rate and the time
left. SIGINT or SIGTERM stops the read after its current chunk; memory
access is closed and nothing is saved.

Exit status 1 when the radio did not answer or a chunk was refused three
times; nothing is saved then.

Examples:
  kestrune-cli --port COM1 read eeprom-default -o radio.s19
  kestrune-cli --port COM1 read flash1 --base 0 --length 10000 -o flash1.bin
)",
          [](const std::vector<std::string>& args) -> TRunner {
            const TReadRequest request = ReadReadRequest(args);
            return [request](TRunContext& run) { return RunRead(run, request); };
          }};
}

TCommand WriteCommand() {
  return {"write",
          "write DEVICE FILE [--verify] [--changed-only] [--no-backup | --backup-dir DIR] "
          "[--format raw|srec]",
          "write an image file into the radio's memory",
          R"(Writes the image in FILE into the radio's memory as the Memory page's
"Write" does: the bytes from the image's base address for its length.

DEVICE is one of eeprom-default, eeprom (both the EEPROM), flash1, flash2
or direct. FILE ending in .s19, .srec or .mot is read as S-records (S1, S2
and S3 records); only the addresses the file holds are written, never the
gaps between them. A damaged record (checksum, count, digits, an address
past FFFFF) is refused naming its line, and nothing is written. Anything
else is a raw image, written from address 0. A name whose content is of
the other format is refused; --format says which is meant.

Before anything is written, the file's range is read from the radio and
saved as S-records in the backups folder beside the log folder, named
DEVICE-BASE-LENGTH-yyyymmdd_hhmmss.s19 (the path is logged); a backup that
cannot be saved ends the write with nothing written.

  --no-backup            write without reading a backup first
  --backup-dir DIR       save the backup in DIR instead
  --verify               read the written ranges back and compare them with
                         the file; a difference is one error line naming the
                         first address that differs, the radio's and the
                         file's byte there, and how many bytes differ
  --changed-only         write only the 32-byte chunks that differ from the
                         radio (compared with the backup's read, or read
                         first without a backup); a file the radio already
                         holds writes nothing
  --format raw|srec      the format, whatever the name says

On a terminal, standard error shows the bytes done, the rate and the time
left. SIGINT or SIGTERM stops the write after its current chunk; memory
access is closed, and the radio's memory is then partly written, which
kestrune-cli says on standard error, naming the backup.

Exit status 1 when the radio did not answer, a chunk was refused three
times, the backup could not be saved, or the verification found a
difference.

Examples:
  kestrune-cli --port COM1 write eeprom radio.s19 --verify
  kestrune-cli --port COM1 write flash1 flash1.bin
)",
          [](const std::vector<std::string>& args) -> TRunner {
            const TWriteRequest request = ReadWriteRequest(args);
            return [request](TRunContext& run) { return RunWrite(run, request); };
          }};
}

TCommand CompareCommand() {
  return {"compare", "compare DEVICE FILE [--format raw|srec]",
          "compare the radio's memory with an image file, writing nothing",
          R"(Reads the addresses FILE holds from the radio's memory and compares them
with the file; nothing is written. DEVICE and FILE are as for write: an
S-record file is compared only over the addresses it holds.

The differing ranges are logged one a line, adjacent bytes merged
("0100..011F  32 bytes"), at most 50 of them, then a summary line.

  --format raw|srec      the format, whatever the name says

Exit status 0 when the radio holds the file's bytes, 1 when they differ or
the radio did not answer.

Example:
  kestrune-cli --port COM1 compare eeprom radio.s19
)",
          [](const std::vector<std::string>& args) -> TRunner {
            const TWriteRequest request = ReadCompareRequest(args);
            return [request](TRunContext& run) { return RunCompare(run, request); };
          }};
}

}  // namespace kestrune::cli
