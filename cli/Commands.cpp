#include "cli/Commands.h"

#include <algorithm>

#include "cli/CliOptions.h"
#include "cli/CommandKit.h"
#include "console/core/CommandText.h"
#include "console/core/IntConv.h"
#include "protocol/SB9600.h"

namespace kestrune::cli {

std::string JoinWords(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : " ") + word;
  return text;
}

TOutcome Report(TRunContext& run, bool ok, const std::string& failure) {
  if (ok) return TOutcome::Done;
  run.Output.Error(failure);
  return TOutcome::Failed;
}

std::vector<uint8_t> ReadSendBytes(const std::vector<std::string>& args) {
  const TCommandArgs scanned = ScanCommandArgs("send", args, {});
  if (scanned.Words.empty()) throw EUsageError("send: no bytes given", "send");
  try {
    const std::vector<uint8_t> bytes =
        ParseCommandBytes(NormalizeCommandText(JoinWords(scanned.Words)));
    if (bytes.empty()) throw EUsageError("send: no bytes given", "send");
    return bytes;
  } catch (const EConvertError& e) {
    throw EUsageError(std::string("send: ") + e.what(), "send");
  }
}

TCommand SendCommand() {
  return {"send", "send HEX...", "one exchange with the bytes as written",
          R"(Sends the bytes as one packet and waits for the radio's answer, as a
command button does: up to three attempts of 3 s each. The bytes are sent
exactly as written; no check byte is filled in.

HEX is packet bytes in the command-button form: hexadecimal tokens separated
by spaces, one byte per token ("03 11 80 3F 6F"); "0x", "$" and "#" in front
of a token and commas between tokens are accepted ("0x03,0x11"). The words
may also be given as one quoted argument.

Exit status 1 when the radio did not echo the packet.

Example:
  kestrune-cli --port COM1 send 03 11 80 3F 6F
)",
          [](const std::vector<std::string>& args) -> TRunner {
            const std::vector<uint8_t> bytes = ReadSendBytes(args);
            return [bytes](TRunContext& run) {
              return Report(run, run.Operation.Engine.SendRepeatAndWait(bytes), kNoAnswer);
            };
          }};
}

const std::vector<TCommand>& Commands() {
  static const std::vector<TCommand> commands{SendCommand(),  ScriptCommand(),  ReadCommand(),
                                              WriteCommand(), CompareCommand(), TuneCommand(),
                                              LcdCommand(),   ScanCommand(),    PortsCommand()};
  return commands;
}

const TCommand* FindCommand(const std::string& name) {
  const auto& commands = Commands();
  const auto found = std::find_if(commands.begin(), commands.end(),
                                  [&](const TCommand& c) { return c.Name == name; });
  return found == commands.end() ? nullptr : &*found;
}

}  // namespace kestrune::cli
