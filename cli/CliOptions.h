// The command line of kestrune-cli:
//
//   kestrune-cli [line options] COMMAND [the command's words and options]
//
// Line options (the serial line, the settings file, the log) may stand
// anywhere before "--"; the first other word names the command and every
// remaining word belongs to it. Each command reads its own words with
// ScanCommandArgs. Every mistake is an EUsageError: exit status 2, its
// message and a hint to the help of the program or of the command.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrune::cli {

class EUsageError : public std::runtime_error {
 public:
  // command: whose help the hint names; empty for the program's.
  explicit EUsageError(const std::string& message, std::string command = {});
  const std::string& Command() const noexcept { return command_; }

 private:
  std::string command_;
};

struct TLineOptions {
  std::string Port;      // "COM1".."COM4"; empty: the settings file's choice
  std::string Device;    // a device path instead of a COM name
  std::string Settings;  // empty: settings.ini beside the program
  std::optional<int32_t> Baud;
  std::optional<int32_t> Bits;
  std::optional<int32_t> StopBits;  // 0 one, 1 one and a half, 2 two
  std::optional<int32_t> Parity;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  bool Dump = false;                // TX and RX dumps in the log
  std::string LogFile;              // also append every log line here
};

struct TCommandLine {
  TLineOptions Line;
  std::string Command;            // empty when none was given
  std::vector<std::string> Args;  // the command's words and options, in order
  bool Help = false;              // --help, -h or the "help" command
};

TCommandLine ParseCommandLine(const std::vector<std::string>& args);

// A command's words and the options it was given. After "--" every word is a
// plain word; "-" alone and negative numbers are words too.
struct TCommandArgs {
  std::vector<std::string> Words;
  std::map<std::string, std::string> Options;  // flags hold ""

  bool Has(const std::string& name) const { return Options.count(name) != 0; }
  std::optional<std::string> Value(const std::string& name) const;
};

// `known` maps every option of the command to whether it takes a value
// ("--name VALUE" or "--name=VALUE"). Unknown options are refused.
TCommandArgs ScanCommandArgs(const std::string& command, const std::vector<std::string>& args,
                             const std::map<std::string, bool>& known);

// A decimal number within [min, max]; `what` names it in the messages.
int64_t ParseDecimal(const std::string& text, int64_t min, int64_t max, const std::string& what,
                     const std::string& command);
// A hexadecimal number (an optional "0x" or "$" in front) up to max.
uint32_t ParseHex(const std::string& text, uint32_t max, const std::string& what,
                  const std::string& command);

}  // namespace kestrune::cli
