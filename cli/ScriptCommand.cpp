// script: the Custom page's packet script from a file or standard input.
#include <cerrno>
#include <cstring>

#include "cli/CliOptions.h"
#include "cli/CliPlatform.h"
#include "cli/CommandKit.h"
#include "console/core/TextFile.h"
#include "console/ops/PacketScript.h"

namespace kestrune::cli {

namespace {

// A byte line of the longest SBEP packet (a 16-bit length) is about 200 KiB
// of text; nothing longer is a script line. The whole script is bounded too,
// so an endless input ends with an error rather than with the memory.
constexpr size_t kMaxLineBytes = 256 * 1024;
constexpr size_t kMaxScriptBytes = 16 * 1024 * 1024;

// Collects the input's bytes, refusing an over-long line as soon as it
// passes the limit. A line ends at LF, or at a CR that no LF follows.
class LineLimitedInput {
 public:
  void Append(const char* bytes, size_t n) {
    for (size_t i = 0; i < n; ++i) Count(bytes[i]);
    if (bytes_.size() + n > kMaxScriptBytes)
      throw EUsageError("script: the script passes " + std::to_string(kMaxScriptBytes >> 20) +
                            " MiB at line " + std::to_string(line_) + "; nothing was sent",
                        "script");
    bytes_.append(bytes, n);
  }
  std::string Take() { return std::move(bytes_); }

 private:
  void Count(char c) {
    const bool afterCr = afterCr_;
    afterCr_ = c == '\r';
    if (c == '\r' || c == '\n') {
      if (!(c == '\n' && afterCr)) ++line_;  // CR LF is one line end
      length_ = 0;
      return;
    }
    if (++length_ > kMaxLineBytes)
      throw EUsageError("script: line " + std::to_string(line_) + " is longer than " +
                            std::to_string(kMaxLineBytes / 1024) + " KiB; nothing was sent",
                        "script");
  }

  std::string bytes_;
  size_t line_ = 1;
  size_t length_ = 0;
  bool afterCr_ = false;
};

// The script's bytes from a file or standard input ("-"), read piece by
// piece: /dev/zero or an endless pipe ends in an error, not in the memory.
std::string ReadScriptInput(const std::string& name) {
  LineLimitedInput input;
  const int error =
      ReadInputPieces(name, [&](const char* bytes, size_t count) { input.Append(bytes, count); });
  if (error != 0)
    throw EUsageError("script: Unable to read " +
                          (name == "-" ? std::string("standard input") : name) + ": " +
                          std::strerror(error),
                      "script");
  return input.Take();
}

TOutcome RunScript(TRunContext& run, const std::vector<std::string>& lines) {
  const int failed = RunPacketScript(run.Operation, static_cast<int>(lines.size()), [&](int i) {
    return static_cast<size_t>(i) < lines.size() ? lines[static_cast<size_t>(i)] : std::string();
  });
  return Report(run, failed == 0,
                std::to_string(failed) + (failed == 1 ? " line" : " lines") +
                    " of the script did not go through; the log says which");
}

}  // namespace

std::vector<std::string> ReadScriptLines(const std::vector<std::string>& args) {
  const TCommandArgs scanned = ScanCommandArgs("script", args, {});
  if (scanned.Words.size() != 1)
    throw EUsageError("script: one FILE, or - for standard input, please", "script");
  // The encodings and line ends of CustomPackets.txt, as the window reads
  // it; U+2028 and U+2029 end a line too, as they do on the Custom page.
  const TTextFile file = DecodeTextFile(ReadScriptInput(scanned.Words[0]));
  std::vector<std::string> lines = SplitScriptLines(file.Text);
  if (!file.Text.empty() && file.Text.back() == '\n') lines.pop_back();
  return lines;
}

TCommand ScriptCommand() {
  return {"script", "script FILE|-", "run a packet script in the Custom page's language",
          R"(Runs the packet script in FILE, or on standard input for "-", as the Custom
page's "Send custom packets" does: line by line, each line logged where it
cannot be carried out, and the run always ends leaving SBEP mode. The file
is read as CustomPackets.txt is (UTF-8, UTF-16 with its mark, or
Windows-1252; any line ends).

A line is, by its first word (in any letter case):
  sbep X       enter SBEP mode with device address X
  sb9600       leave SBEP mode
  delay X      pause X milliseconds ("delay 100", not "delay 100ms")
  anything else: a byte line, sent as one packet, in the command-button form
               ("F5 11 02 00 00 02 00", "0x01,0x02"). In SBEP mode its last
               byte is replaced by the packet's checksum; in SB9600 mode a
               fifth byte is replaced by the check byte of the first four.
X is decimal, or hexadecimal after "$" or "0x". Empty lines are skipped;
there are no comments. After an sbep line that failed, the byte lines up to
the next sb9600 are skipped. U+2028 and U+2029 end a line too. A line over
256 KiB, or a script over 16 MiB, is refused before anything is sent.

SIGINT or SIGTERM stops the script before its next line.

Exit status 1 when a line did not go through: it could not be read, an
SBEP entry failed, or the radio did not answer (or refused) a packet.

Examples:
  kestrune-cli --port COM1 script CustomPackets.txt
  printf 'sbep 1\nF5 11 02 00 00 02 00\nsb9600\n' | kestrune-cli --port COM1 script -
)",
          [](const std::vector<std::string>& args) -> TRunner {
            const std::vector<std::string> lines = ReadScriptLines(args);
            return [lines](TRunContext& run) { return RunScript(run, lines); };
          }};
}

}  // namespace kestrune::cli
