#include "cli/Commands.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "cli/CliOptions.h"
#include "cli/CliOutput.h"
#include "console/core/CommandText.h"
#include "console/core/FreqMath.h"
#include "console/core/IntConv.h"
#include "protocol/SB9600.h"

namespace kestrune::cli {

namespace {

// The window's frequency field holds nine digits.
constexpr int64_t kMaxFreqHz = 999'999'999;

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

const char* const kNoAnswer = "the radio did not answer";
const char* const kNotTaken = "the radio did not answer, or refused the frame";

// ---------------------------------------------------------------- send

TRunner ParseSend(const std::vector<std::string>& args) {
  const std::vector<uint8_t> bytes = ReadSendBytes(args);
  return [bytes](TRunContext& run) {
    return Report(run, run.Operation.Engine.SendRepeatAndWait(bytes), kNoAnswer);
  };
}

// ---------------------------------------------------------------- tune

int StepIndex(const std::string& text) {
  if (text == "5" || text == "5.0") return 0;
  if (text == "6.25") return 1;
  throw EUsageError("tune: --step takes 5 or 6.25 (kHz), not '" + text + "'", "tune");
}

TRunner ParseTune(const std::vector<std::string>& args) {
  const TTuneRequest request = ReadTuneRequest(args);
  return [request](TRunContext& run) {
    TOperationContext& op = run.Operation;
    bool ok = SetChannel(op, request.Setting);
    if (request.ToLcd && !op.Stopping()) ok = SendFreqToLcd(op, request.FreqHz) && ok;
    char line[64];
    std::snprintf(line, sizeof line, "channel %d freq %d set", request.Setting.Channel,
                  request.FreqHz);
    op.Log(line);
    return Report(run, ok, kNotTaken);
  };
}

// ----------------------------------------------------------------- lcd

TRunner ParseLcd(const std::vector<std::string>& args) {
  const std::string text = ReadLcdText(args);
  return [text](TRunContext& run) {
    return Report(run, SendLcdText(run.Operation, TLcdParams{}, text), kNotTaken);
  };
}

}  // namespace

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

TTuneRequest ReadTuneRequest(const std::vector<std::string>& args) {
  const TCommandArgs scanned = ScanCommandArgs("tune", args,
                                               {{"--step", true},
                                                {"--tx", false},
                                                {"--800", false},
                                                {"--lcd", false},
                                                {"--sbep", false},
                                                {"--modulation", true},
                                                {"--audio", true},
                                                {"--continuous", true},
                                                {"--frames", true}});
  if (scanned.Words.size() != 1)
    throw EUsageError(
        scanned.Words.empty() ? "tune: no frequency given" : "tune: one frequency, in Hz, please",
        "tune");
  TTuneRequest request;
  request.FreqHz =
      static_cast<int32_t>(ParseDecimal(scanned.Words[0], 0, kMaxFreqHz, "frequency", "tune"));
  TChannelSetting& setting = request.Setting;
  setting.StepIndex = StepIndex(scanned.Value("--step").value_or("6.25"));
  setting.Channel = FreqToChannel(request.FreqHz, GetStepHz(setting.StepIndex));
  setting.Rx = !scanned.Has("--tx");
  setting.Is800 = scanned.Has("--800");
  setting.Sbep = scanned.Has("--sbep");
  request.ToLcd = scanned.Has("--lcd");

  for (const char* option : {"--modulation", "--audio", "--continuous", "--frames"})
    if (scanned.Has(option) && !setting.Sbep)
      throw EUsageError(std::string("tune: ") + option + " belongs to the SBEP frame; add --sbep",
                        "tune");
  if (const auto v = scanned.Value("--modulation"))
    setting.ModulationIndex = static_cast<int>(ParseDecimal(*v, 0, 3, "modulation", "tune"));
  if (const auto v = scanned.Value("--audio"))
    setting.AudioIndex = static_cast<int>(ParseDecimal(*v, 0, 2, "audio", "tune"));
  if (const auto v = scanned.Value("--continuous")) {
    if (*v != "yes" && *v != "no")
      throw EUsageError("tune: --continuous takes yes or no, not '" + *v + "'", "tune");
    setting.ContinuousIndex = *v == "yes" ? 1 : 0;
  }
  if (const auto v = scanned.Value("--frames"))
    setting.Frames = static_cast<uint16_t>(ParseHex(*v, 0xFFFF, "frames value", "tune"));
  return request;
}

std::string ReadLcdText(const std::vector<std::string>& args) {
  const TCommandArgs scanned = ScanCommandArgs("lcd", args, {});
  if (scanned.Words.empty()) throw EUsageError("lcd: no text given", "lcd");
  const std::string text = JoinWords(scanned.Words);
  if (text.size() > kMaxLcdTextBytes)
    throw EUsageError("lcd: the text is " + std::to_string(text.size()) +
                          " bytes long; the radio's display takes at most " +
                          std::to_string(kMaxLcdTextBytes),
                      "lcd");
  return text;
}

const std::vector<TCommand>& Commands() {
  static const std::vector<TCommand> commands{
      {"send", "send HEX...", "one exchange with the bytes as written",
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
       ParseSend},
      {"tune", "tune FREQ [--step 5|6.25] [--tx] [--800] [--lcd] [--sbep [SBEP options]]",
       "tune the radio to a frequency by its channel number",
       R"(Sets the channel of frequency FREQ (in Hz) as the Tune tab's "Apply Freq"
does, and logs "channel N freq FREQ set".

  --step 5|6.25          the channel step in kHz (default 6.25)
  --tx                   transmit direction (default: receive)
  --800                  the 800 MHz band bit
  --lcd                  also show the frequency on the radio's display
  --sbep                 send the SBEP tune frame instead of the SB9600 frame,
                         with these options of the frame:
    --modulation N       0 12.5KHz/C4FM (default), 1 25KHz/C4FM, 2 CQPSK,
                         3 Wide Pulse
    --audio N            0 Mute (default), 1 Internal, 2 External
    --continuous yes|no  default yes
    --frames HEX         the frames value, up to four hex digits (default 00FF)

Exit status 1 when the radio did not take the frame (or the display text).

Examples:
  kestrune-cli tune 403000000
  kestrune-cli tune 403012500 --step 5 --tx --lcd
  kestrune-cli tune 851012500 --800 --sbep --modulation 2 --audio 1
)",
       ParseTune},
      {"lcd", "lcd TEXT", "write text on the radio's display",
       R"(Writes TEXT on the radio's display, as the LCD tab's "Send" does. Several
words are joined with one space. The text is sent as UTF-8, at most 124 bytes.

Exit status 1 when the radio did not take the text.

Example:
  kestrune-cli lcd SELF CHECK
)",
       ParseLcd},
  };
  return commands;
}

const TCommand* FindCommand(const std::string& name) {
  const auto& commands = Commands();
  const auto found = std::find_if(commands.begin(), commands.end(),
                                  [&](const TCommand& c) { return c.Name == name; });
  return found == commands.end() ? nullptr : &*found;
}

}  // namespace kestrune::cli
