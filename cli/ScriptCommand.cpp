// script: the Custom page's packet script from a file or standard input.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/CliOptions.h"
#include "cli/CommandKit.h"
#include "console/core/PacketScript.h"
#include "console/core/TextFile.h"

namespace kestrune::cli {

namespace {

std::string ReadStandardInput() {
  std::string bytes;
  char chunk[4096];
  for (;;) {
    const ssize_t n = read(STDIN_FILENO, chunk, sizeof chunk);
    if (n == 0) return bytes;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0)
      throw EUsageError(std::string("script: cannot read standard input: ") + std::strerror(errno),
                        "script");
    bytes.append(chunk, static_cast<size_t>(n));
  }
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
  const std::string& name = scanned.Words[0];
  std::string bytes;
  if (name == "-") {
    bytes = ReadStandardInput();
  } else {
    try {
      bytes = ReadWholeFile(name);
    } catch (const EFileError& e) {
      throw EUsageError(std::string("script: ") + e.what(), "script");
    }
  }
  // The encodings and line ends of CustomPackets.txt, as the window reads it.
  const TTextFile file = DecodeTextFile(bytes);
  std::vector<std::string> lines;
  for (const TTextLine& line : SplitLines(file.Text)) lines.emplace_back(line.Text);
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
there are no comments.

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
