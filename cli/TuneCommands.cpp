#include "cli/Commands.h"

#include <cstdint>
#include <cstdio>

#include "cli/CliOptions.h"
#include "cli/CommandKit.h"
#include "console/core/FreqMath.h"

namespace kestrune::cli {

namespace {

// The window's frequency field holds nine digits, the scan's fields five.
constexpr int64_t kMaxFreqHz = 999'999'999;
constexpr int64_t kMaxScanChannel = 99'999;

// A step list index from the step in kHz; the tune list holds the first
// `count` steps, the scan list all six.
int StepIndex(const std::string& command, const std::string& text, size_t count) {
  std::string choices;
  for (size_t i = 0; i < count; ++i) {
    std::string kHz(kStepItemTexts[i].substr(0, kStepItemTexts[i].find(' ')));  // "5.0 KHz"
    if (text == kHz) return static_cast<int>(i);
    if (kHz.ends_with(".0")) kHz.resize(kHz.size() - 2);
    if (text == kHz) return static_cast<int>(i);
    choices += (choices.empty() ? "" : ", ") + kHz;
  }
  throw EUsageError(command + ": --step takes one of " + choices + " (kHz), not '" + text + "'",
                    command);
}

}  // namespace

// ---------------------------------------------------------------- tune

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
  setting.StepIndex = StepIndex("tune", scanned.Value("--step").value_or("6.25"), 2);
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

TCommand TuneCommand() {
  return {"tune", "tune FREQ [--step 5|6.25] [--tx] [--800] [--lcd] [--sbep [SBEP options]]",
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
          [](const std::vector<std::string>& args) -> TRunner {
            const TTuneRequest request = ReadTuneRequest(args);
            return [request](TRunContext& run) {
              const bool ok = ApplyFreq(run.Operation, request.Setting,
                                        static_cast<uint32_t>(request.FreqHz), request.ToLcd);
              return Report(run, ok, kNotTaken);
            };
          }};
}

// ----------------------------------------------------------------- lcd

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

TCommand LcdCommand() {
  return {"lcd", "lcd TEXT", "write text on the radio's display",
          R"(Writes TEXT on the radio's display, as the LCD tab's "Send" does. Several
words are joined with one space. The text is sent as UTF-8, at most 124 bytes.

Exit status 1 when the radio did not take the text.

Example:
  kestrune-cli lcd SELF CHECK
)",
          [](const std::vector<std::string>& args) -> TRunner {
            const std::string text = ReadLcdText(args);
            return [text](TRunContext& run) {
              return Report(run, SendLcdText(run.Operation, TLcdParams{}, text), kNotTaken);
            };
          }};
}

// ---------------------------------------------------------------- scan

TScanRequest ReadScanRequest(const std::vector<std::string>& args) {
  const TCommandArgs scanned = ScanCommandArgs(
      "scan", args,
      {{"--delay", true}, {"--step", true}, {"--tx", false}, {"--800", false}, {"--sbep", false}});
  if (scanned.Words.size() != 2)
    throw EUsageError("scan: FROM and TO, two channel numbers, please", "scan");
  TScanRequest request;
  request.Range.From =
      static_cast<int32_t>(ParseDecimal(scanned.Words[0], 0, kMaxScanChannel, "channel", "scan"));
  request.Range.To =
      static_cast<int32_t>(ParseDecimal(scanned.Words[1], 0, kMaxScanChannel, "channel", "scan"));
  if (const auto v = scanned.Value("--delay"))
    request.Range.DelayMs = static_cast<int32_t>(ParseDecimal(*v, 0, INT32_MAX, "delay", "scan"));
  request.Choices.StepIndex =
      StepIndex("scan", scanned.Value("--step").value_or("5"), kStepItemTexts.size());
  request.Choices.Rx = !scanned.Has("--tx");
  request.Choices.Is800 = scanned.Has("--800");
  request.Choices.Sbep = scanned.Has("--sbep");
  return request;
}

namespace {

TOutcome RunScanCommand(TRunContext& run, const TScanRequest& request) {
  TOperationContext& op = run.Operation;
  const TScanHooks hooks{
      op.Pump,
      op.Log,
      [&op] { return op.Stopping(); },
      [] { return true; },
      [choices = request.Choices] { return choices; },
      [&run](int32_t channel, int percent) {
        run.Output.Progress("scanning: channel " + std::to_string(channel) + ", " +
                            std::to_string(percent) + "% of the range");
      },
      [&op](const std::function<void(TOperationContext&)>& fn) { fn(op); },
  };
  const int notTaken = RunScan(hooks, request.Range);
  run.Output.EndProgress();
  return Report(run, notTaken == 0,
                "the radio did not take " + std::to_string(notTaken) +
                    (notTaken == 1 ? " channel" : " channels"));
}

}  // namespace

TCommand ScanCommand() {
  return {"scan", "scan FROM TO [--delay MS] [--step N] [--tx] [--800] [--sbep]",
          "set a range of channels one after the other, with a pause on each",
          R"(Sets the channels FROM, FROM + 1, ..., TO - 1 (TO itself is not sent) as the
Scan tab does, each with the frame "Apply Freq" sends, logs "channel N set"
for each and pauses after it. FROM and TO are channel numbers, 0 to 99999;
with TO at or below FROM nothing is sent.

  --delay MS             the pause after each channel in milliseconds (default
                         3000; less than 100 pauses 100)
  --step N               the step in kHz: 5 (default), 6.25, 12.5, 20, 25 or 30
  --tx                   transmit direction (default: receive)
  --800                  the 800 MHz band bit
  --sbep                 SBEP tune frames (option byte 11, frames 0002)

On a terminal, standard error shows the channel and the share of the range
done. SIGINT or SIGTERM ends the scan before its next channel, also in the
middle of a pause.

Exit status 1 when the radio did not take one of the channels (the scan
still runs its course).

Example:
  kestrune-cli --port COM1 scan 100 105 --delay 500 --step 12.5
)",
          [](const std::vector<std::string>& args) -> TRunner {
            const TScanRequest request = ReadScanRequest(args);
            return [request](TRunContext& run) { return RunScanCommand(run, request); };
          }};
}

}  // namespace kestrune::cli
