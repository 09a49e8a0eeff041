// What kestrune-cli reads from its command line and the settings file before
// the port opens, and the progress line. The mistakes and their messages are
// checked on the built program (CliEndToEnd_test, CliMemory_test).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string_view>

#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/HelpText.h"
#include "cli/PortSetup.h"
#include "cli/ProgressMeter.h"
#include "serial/SerialDevices.h"
#include "tests/support/Files.h"

namespace kestrune::cli {
namespace {

namespace fs = std::filesystem;
using Words = std::vector<std::string>;

TEST(CliCommandLine, LineOptionsStandAnywhereBeforeTheDoubleDash) {
  const TCommandLine line =
      ParseCommandLine({"--baud", "4800", "tune", "403000000", "--dump", "--step=5", "--parity",
                        "Even", "--stop-bits", "1.5", "--bits=7", "--log", "x.log"});
  EXPECT_EQ(line.Command, "tune");
  EXPECT_EQ(line.Args, (Words{"403000000", "--step=5"}));
  EXPECT_EQ(line.Line.Baud, 4800);
  EXPECT_EQ(line.Line.Bits, 7);
  EXPECT_EQ(line.Line.StopBits, 1);
  EXPECT_EQ(line.Line.Parity, 2);
  EXPECT_TRUE(line.Line.Dump);
  EXPECT_EQ(line.Line.LogFile, "x.log");
  EXPECT_EQ(ParseCommandLine({"--port", "com3", "send", "01"}).Line.Port, "COM3");
  // The window's four; COM5 and up are reached through --device or the map.
  for (const char* port : {"COM0", "COM5", "COM03", "COM12"})
    EXPECT_THROW(ParseCommandLine({"--port", port, "send", "01"}), EUsageError) << port;

  // After "--" a line option's name is a word of the command.
  const TCommandLine text = ParseCommandLine({"lcd", "--", "--dump", "-x"});
  EXPECT_EQ(text.Args, (Words{"--", "--dump", "-x"}));
  EXPECT_FALSE(text.Line.Dump);

  const TCommandLine help = ParseCommandLine({"help", "lcd"});
  EXPECT_TRUE(help.Help);
  EXPECT_EQ(help.Command, "lcd");
  EXPECT_TRUE(ParseCommandLine({"tune", "-h"}).Help);
}

TEST(CliCommandArgs, OptionsValuesAndWords) {
  const TCommandArgs scanned = ScanCommandArgs(
      "read", {"eeprom", "--base", "100", "-o", "x.bin", "--length=10", "-", "-5", "--", "--base"},
      {{"--base", true}, {"--length", true}, {"-o", true}, {"--verify", false}});
  EXPECT_EQ(scanned.Words, (Words{"eeprom", "-", "-5", "--base"}));
  EXPECT_EQ(scanned.Value("--base"), "100");
  EXPECT_EQ(scanned.Value("--length"), "10");
  EXPECT_EQ(scanned.Value("-o"), "x.bin");
  EXPECT_FALSE(scanned.Has("--verify"));

  EXPECT_EQ(ParseHex("0x1F", 0xFFFF, "frames value", "tune"), 0x1Fu);
  EXPECT_EQ(ParseHex("$ff", 0xFFFF, "frames value", "tune"), 0xFFu);
  try {  // past 64 bits is out of range, not "not a number"
    ParseDecimal("99999999999999999999", 0, 99, "delay", "scan");
    ADD_FAILURE();
  } catch (const EUsageError& e) {
    EXPECT_EQ(std::string(e.what()),
              "scan: the delay 99999999999999999999 is out of range (0 to 99)");
    EXPECT_EQ(e.Command(), "scan");
  }
}

TEST(CliCommands, SendTuneLcdAndScanReadWhatTheWindowsControlsHold) {
  EXPECT_EQ(ReadSendBytes({"#1#a", "$FF", "0x02,0x03", "1234"}),
            (std::vector<uint8_t>{0x01, 0x0A, 0xFF, 0x02, 0x03, 0x34}));

  const TTuneRequest plain = ReadTuneRequest({"403000000"});
  EXPECT_EQ(plain.Setting.Channel, 4480);  // 6.25 kHz, as the tab starts
  EXPECT_TRUE(plain.Setting.Rx && !plain.Setting.Is800 && !plain.Setting.Sbep && !plain.ToLcd);
  EXPECT_EQ(plain.Setting.Frames, 0x00FF);
  const TTuneRequest all =
      ReadTuneRequest({"403000000", "--step", "5", "--tx", "--800", "--lcd", "--sbep",
                       "--modulation", "2", "--audio=2", "--continuous", "no", "--frames", "1a"});
  EXPECT_EQ(all.Setting.Channel, 5600);
  EXPECT_TRUE(!all.Setting.Rx && all.Setting.Is800 && all.Setting.Sbep && all.ToLcd);
  EXPECT_EQ(all.Setting.ModulationIndex, 2);
  EXPECT_EQ(all.Setting.AudioIndex, 2);
  EXPECT_EQ(all.Setting.ContinuousIndex, 0);
  EXPECT_EQ(all.Setting.Frames, 0x001A);

  EXPECT_EQ(ReadLcdText({"SELF", "CHECK"}), "SELF CHECK");
  EXPECT_EQ(ReadLcdText({"--", "-5 dB"}), "-5 dB");

  const TScanRequest plainScan = ReadScanRequest({"100", "103"});
  EXPECT_EQ(plainScan.Range.DelayMs, 3000);
  EXPECT_EQ(plainScan.Choices.StepIndex, 0);  // 5 kHz, the list's first item
  const TScanRequest scan =
      ReadScanRequest({"70000", "0", "--delay", "50", "--step", "12.5", "--tx", "--800", "--sbep"});
  EXPECT_EQ(scan.Range.From, 70000);
  EXPECT_EQ(scan.Range.To, 0);  // nothing to send, as in the window
  EXPECT_EQ(scan.Range.DelayMs, 50);
  EXPECT_EQ(scan.Choices.StepIndex, 2);
  EXPECT_TRUE(!scan.Choices.Rx && scan.Choices.Is800 && scan.Choices.Sbep);
}

TEST(CliCommands, ReadTakesADeviceARangeAndAFileWhoseNameGivesTheFormat) {
  const TReadRequest standard = ReadReadRequest({"eeprom-default", "-o", "radio.S19"});
  EXPECT_EQ(standard.Device, EepromDefault);
  EXPECT_TRUE(standard.SRecords);
  const TReadRequest flash =
      ReadReadRequest({"flash2", "--base", "0x12345", "--length=100", "--output", "f.bin"});
  EXPECT_EQ(flash.Device, Flash2);
  EXPECT_EQ(flash.Fields.Base, "12345");
  EXPECT_EQ(flash.Fields.Length, "100");
  EXPECT_FALSE(flash.SRecords);
  EXPECT_EQ(ReadReadRequest({"direct", "--base", "FFFFF", "--length", "1", "-o", "x"}).Device,
            Direct);  // the last address

  for (const char* name : {"a.s19", "a.SREC", "b/c.mot"}) EXPECT_TRUE(IsSRecordFileName(name));
  for (const char* name : {"a.bin", "s19", "a.s19.bak"}) EXPECT_FALSE(IsSRecordFileName(name));
}

TEST(CliCommands, WriteLoadsTheImageBeforeThePortOpens) {
  const test::ScratchDir scratch;
  const fs::path file = scratch.Path() / "image";
  std::ofstream(file.string() + ".s19") << "S1060100010203F2\r\nS9030000FC";  // 01 02 03 at 0100
  const TWriteRequest srec = ReadWriteRequest({"flash1", file.string() + ".s19", "--verify"});
  EXPECT_TRUE(srec.Verify);
  EXPECT_EQ(srec.Fields.Base, "100");
  EXPECT_EQ(srec.Fields.Length, "3");
  ASSERT_EQ(srec.Image.image.size(), 0x103u);
  EXPECT_EQ(srec.Image.image[0x101], 0x02);

  std::ofstream(file.string() + ".bin") << "xyz";
  const TWriteRequest raw = ReadWriteRequest({"eeprom-default", file.string() + ".bin"});
  EXPECT_EQ(raw.Fields.Base, "0");  // a raw image starts at address 0
  EXPECT_EQ(raw.Fields.Length, "3");
}

TEST(CliCommands, AScriptFileIsReadAsTheCustomPagesFileIs) {
  const test::ScratchDir scratch;
  const fs::path file = scratch.Path() / "script.txt";
  // UTF-16 little-endian with its mark, CR LF: "sbep 1", "sb9600".
  const char16_t text[] = u"\uFEFFsbep 1\r\nsb9600";
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(text), sizeof text - sizeof text[0]);
  EXPECT_EQ(ReadScriptLines({file.string()}), (Words{"sbep 1", "sb9600"}));
}

class CliPortSetupTest : public ::testing::Test {
 protected:
  void TearDown() override { SetSerialDeviceMap({}); }
  std::string Settings(const std::string& text) {
    scratch_.Write("settings.ini", text);
    return scratch_.File("settings.ini");
  }
  test::ScratchDir scratch_;
};

TEST_F(CliPortSetupTest, TheWindowsSettingsAreTheDefaultsAndTheOptionsWin) {
  TLineOptions options;
  options.Settings = Settings(
      "[port]\nindex=2\nBaud=4800\nBits=7\nStopBits=2\nParity=1\n"
      "[devices]\ncom3=/tmp/radio-three\n");
  TPortSetup setup = ResolvePortSetup(options);
  EXPECT_EQ(setup.Name, "COM3");
  EXPECT_EQ(setup.Baud, 4800);
  EXPECT_EQ(setup.Bits, 7);
  EXPECT_EQ(setup.StopBits, 2);
  EXPECT_EQ(setup.Parity, 1);
  EXPECT_EQ(ResolveSerialDevice("COM3"), "/tmp/radio-three");  // the window's device map

  options.Port = "COM1";
  options.Baud = 19200;
  setup = ResolvePortSetup(options);
  EXPECT_EQ(setup.Name, "COM1");
  EXPECT_EQ(setup.Baud, 19200);
  options.Device = "/dev/ttyUSB7";
  EXPECT_EQ(ResolvePortSetup(options).Name, "/dev/ttyUSB7");

  // Without settings the line is a new window's; a setting that is used
  // must be valid.
  options = {};
  options.Settings = Settings("[port]\nBaud=fast\n");
  EXPECT_THROW(ResolvePortSetup(options), EUsageError);
  // Refused with the window's own message (MainWindow_test has its side).
  options.Settings = Settings("[port]\nBits=9\n");
  try {
    ResolvePortSetup(options);
    ADD_FAILURE() << "Bits=9 accepted";
  } catch (const EUsageError& e) {
    EXPECT_EQ(std::string(e.what()), options.Settings +
                                         ": [port] Bits: ''9'' is not a valid number of data bits "
                                         "(5 to 8)");
  }
  options.Settings = Settings("[port]\nBaud=fast\n");
  options.Baud = 9600;
  setup = ResolvePortSetup(options);
  EXPECT_EQ(setup.Name, "COM1");
  EXPECT_EQ(setup.Bits, 8);
  EXPECT_EQ(setup.StopBits, 0);
  EXPECT_EQ(setup.Parity, 0);
  EXPECT_EQ(DefaultSettingsFile(), ProgramDir() + "settings.ini");
}

// The options a help text names: "--name" and "-x" standing as words.
std::set<std::string> OptionsNamedIn(const std::string& help) {
  const auto isNameChar = [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); };
  std::set<std::string> names;
  for (size_t at = 0; at < help.size(); ++at) {
    if (help[at] != '-' ||
        (at > 0 && std::string_view(" \n,(|").find(help[at - 1]) == std::string_view::npos))
      continue;
    size_t end = at + (help.compare(at, 2, "--") == 0 ? 2 : 1);
    if (end >= help.size() || help[end] < 'a' || help[end] > 'z') continue;
    while (end < help.size() && (isNameChar(help[end]) || help[end] == '-')) ++end;
    names.insert(help.substr(at, end - at));
    at = end;
  }
  return names;
}

// Whether `parse` refused an option it does not know (any other refusal,
// a missing value or missing words, means it knew the option).
bool RefusedAsUnknown(const std::function<void()>& parse) {
  try {
    parse();
  } catch (const EUsageError& e) {
    return std::string(e.what()).find("unknown option") != std::string::npos;
  }
  return false;
}

bool IsLineOption(const std::string& option) {
  return !RefusedAsUnknown([&] { ParseCommandLine({option, "1", "send"}); });
}

bool IsOptionOf(const TCommand& command, const std::string& option) {
  return !RefusedAsUnknown([&] { command.Parse({option}); });
}

// What the help promises is what the parsers take: every option a command's
// help names (its examples included) is a line option or one of that
// command's, every option the program's help names is a line option or a
// command's, and every command has its line in the program's help.
TEST(CliHelp, EveryOptionAHelpNamesIsTakenByItsParser) {
  const std::string program = ProgramHelp();
  size_t commandOptions = 0;
  for (const TCommand& command : Commands()) {
    EXPECT_NE(program.find("\n  " + command.Name + " "), std::string::npos) << command.Name;
    const std::string help = CommandHelp(command);
    EXPECT_TRUE(help.starts_with("Usage: kestrune-cli [line options] " + command.Name)) << help;
    for (const std::string& option : OptionsNamedIn(help)) {
      EXPECT_TRUE(IsLineOption(option) || IsOptionOf(command, option))
          << command.Name << " " << option;
      commandOptions += IsOptionOf(command, option);
    }
    EXPECT_FALSE(IsOptionOf(command, "--no-such-option")) << command.Name;
  }
  EXPECT_GT(commandOptions, 0u);

  const std::set<std::string> named = OptionsNamedIn(program);
  EXPECT_TRUE(named.contains("--port") && named.contains("--help")) << program;
  for (const std::string& option : named) {
    const bool someCommands = std::any_of(Commands().begin(), Commands().end(),
                                          [&](const TCommand& c) { return IsOptionOf(c, option); });
    EXPECT_TRUE(IsLineOption(option) || someCommands) << option;
  }
  EXPECT_FALSE(IsLineOption("--no-such-option"));
}

TEST(CliProgress, BytesRateAndTimeLeft) {
  EXPECT_EQ(FormatBytes(2869), "2.8 KiB");
  EXPECT_EQ(FormatBytes(1 << 20), "1.0 MiB");
  EXPECT_EQ(FormatDuration(29.2), "0:30");
  EXPECT_EQ(FormatDuration(3725), "1:02:05");
  EXPECT_EQ(FormatProgress(0, 2869, 0, 10), "[..........]  0 B of 2.8 KiB  -- B/s  --:-- left");
  EXPECT_EQ(FormatProgress(1000, 2000, 10, 10),
            "[#####.....]  1000 B of 2.0 KiB  100 B/s  0:10 left");
  EXPECT_EQ(FormatProgress(0, 0, 0, 4), "[####]  0 B of 0 B  -- B/s  --:-- left");
}

}  // namespace
}  // namespace kestrune::cli
