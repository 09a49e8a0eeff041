// The commands of kestrune-cli. Each reads its words before the port opens
// (every mistake is an EUsageError, nothing is sent), and then runs the
// console's own operations from console/core against the open engine.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "console/core/MemoryImage.h"
#include "console/ops/MemoryTransfer.h"
#include "console/ops/Operation.h"
#include "console/ops/Scan.h"
#include "console/ops/Tune.h"

namespace kestrune::cli {

class TCliOutput;

struct TRunContext {
  TOperationContext& Operation;
  TCliOutput& Output;
};

// Done, or failed: the radio did not answer or a transfer failed (the
// reason is on standard error already).
enum class TOutcome { Done, Failed };

using TRunner = std::function<TOutcome(TRunContext&)>;

struct TCommand {
  std::string Name;
  std::string Usage;    // the synopsis after "kestrune-cli [line options] "
  std::string Summary;  // one line in the program's help
  std::string Details;  // the rest of the command's help
  std::function<TRunner(const std::vector<std::string>& args)> Parse;
};

const std::vector<TCommand>& Commands();
// nullptr for a name that is no command.
const TCommand* FindCommand(const std::string& name);

// "ports" opens no port: it lists the devices and the COMn map and gives
// the exit status itself.
inline constexpr const char* kPortsCommand = "ports";
int RunPortsCommand(const std::vector<std::string>& args, const TLineOptions& line);

// What the commands read from their words; exposed for the tests.

std::vector<uint8_t> ReadSendBytes(const std::vector<std::string>& args);

struct TTuneRequest {
  int32_t FreqHz = 0;
  TChannelSetting Setting;  // its Channel computed from the frequency and step
  bool ToLcd = false;
};
TTuneRequest ReadTuneRequest(const std::vector<std::string>& args);

std::string ReadLcdText(const std::vector<std::string>& args);

struct TScanRequest {
  TScanRange Range;
  TScanChoices Choices;
};
TScanRequest ReadScanRequest(const std::vector<std::string>& args);

// The lines of the script in the file named, or on standard input for "-".
std::vector<std::string> ReadScriptLines(const std::vector<std::string>& args);

// .s19, .srec and .mot (any letter case) are S-records; anything else raw.
bool IsSRecordFileName(const std::string& path);

struct TReadRequest {
  int Device = EepromDefault;
  TMemoryFields Fields;  // hexadecimal base and length; unused for eeprom-default
  std::string OutFile;
  bool SRecords = false;
};
TReadRequest ReadReadRequest(const std::vector<std::string>& args);

struct TWriteRequest {
  int Device = EepromDefault;
  std::string File;
  LoadedImage Image;     // each byte at its address
  TMemoryFields Fields;  // the image's base and length
  bool Verify = false;
  bool ChangedOnly = false;  // read first, write only the chunks that differ
  // Where the radio's content is saved before the write; empty: no backup.
  std::string BackupFolder;
};
TWriteRequest ReadWriteRequest(const std::vector<std::string>& args);
// compare takes write's words without --verify.
TWriteRequest ReadCompareRequest(const std::vector<std::string>& args);

}  // namespace kestrune::cli
