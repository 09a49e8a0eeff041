// The command line, the commands' words, the settings file's port set-up and
// the progress line: everything kestrune-cli decides before the port opens.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/PortSetup.h"
#include "cli/ProgressMeter.h"
#include "serial/SerialDevices.h"

namespace kestrune::cli {
namespace {

namespace fs = std::filesystem;
using Words = std::vector<std::string>;

// The message and the command whose help the hint names.
std::pair<std::string, std::string> UsageErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EUsageError& e) {
    return {e.what(), e.Command()};
  }
  ADD_FAILURE() << "no usage error";
  return {};
}

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
  EXPECT_FALSE(line.Help);

  // After "--" a line option's name is a word of the command.
  const TCommandLine text = ParseCommandLine({"lcd", "--", "--dump", "-x"});
  EXPECT_EQ(text.Command, "lcd");
  EXPECT_EQ(text.Args, (Words{"--", "--dump", "-x"}));
  EXPECT_FALSE(text.Line.Dump);
}

TEST(CliCommandLine, PortNamesDevicesAndHelp) {
  EXPECT_EQ(ParseCommandLine({"--port", "com3", "send", "01"}).Line.Port, "COM3");
  EXPECT_EQ(ParseCommandLine({"--device=/dev/ttyUSB0", "send", "01"}).Line.Device, "/dev/ttyUSB0");

  const TCommandLine help = ParseCommandLine({"--help"});
  EXPECT_TRUE(help.Help);
  EXPECT_TRUE(help.Command.empty());
  const TCommandLine tuneHelp = ParseCommandLine({"tune", "-h"});
  EXPECT_TRUE(tuneHelp.Help);
  EXPECT_EQ(tuneHelp.Command, "tune");
  const TCommandLine helpCommand = ParseCommandLine({"help", "lcd"});
  EXPECT_TRUE(helpCommand.Help);
  EXPECT_EQ(helpCommand.Command, "lcd");
  EXPECT_TRUE(helpCommand.Args.empty());
}

TEST(CliCommandLine, MistakesNameWhatIsWrong) {
  const std::vector<std::pair<Words, std::string>> cases{
      {{"--port", "COM5", "send", "01"}, "--port takes COM1, COM2, COM3 or COM4"},
      {{"--port", "COM1", "--device", "/dev/x", "send", "01"}, "--port and --device"},
      {{"--baud", "0", "send", "01"}, "the baud rate 0 is out of range (1 to 4000000)"},
      {{"--baud", "fast", "send", "01"}, "the baud rate 'fast' is not a decimal number"},
      {{"--bits", "9", "send", "01"}, "out of range (5 to 8)"},
      {{"--parity", "sometimes", "send", "01"}, "--parity takes one of none, odd, even, mark"},
      {{"--stop-bits", "3", "send", "01"}, "--stop-bits takes one of 1, 1.5, 2"},
      {{"--dump=yes", "send", "01"}, "option '--dump' takes no value"},
      {{"send", "01", "--log"}, "option '--log' needs a value"},
      {{"--bogus", "send"}, "unknown option '--bogus'"},
  };
  for (const auto& [args, message] : cases) {
    const auto [what, command] = UsageErrorOf([&] { ParseCommandLine(args); });
    EXPECT_NE(what.find(message), std::string::npos) << what;
  }
}

TEST(CliCommandArgs, OptionsValuesWordsAndTheirMistakes) {
  const TCommandArgs scanned = ScanCommandArgs(
      "read", {"eeprom", "--base", "100", "-o", "x.bin", "--length=10", "-", "-5", "--", "--base"},
      {{"--base", true}, {"--length", true}, {"-o", true}, {"--verify", false}});
  EXPECT_EQ(scanned.Words, (Words{"eeprom", "-", "-5", "--base"}));
  EXPECT_EQ(scanned.Value("--base"), "100");
  EXPECT_EQ(scanned.Value("--length"), "10");
  EXPECT_FALSE(scanned.Has("--verify"));
  EXPECT_EQ(scanned.Value("-o"), "x.bin");

  EXPECT_EQ(UsageErrorOf([] { ScanCommandArgs("write", {"--fast"}, {}); }),
            std::make_pair(std::string("write: unknown option '--fast'"), std::string("write")));
  EXPECT_EQ(UsageErrorOf([] {
              ScanCommandArgs("scan", {"--tx=1"}, {{"--tx", false}});
            }).first,
            "scan: option '--tx' takes no value");
  EXPECT_EQ(UsageErrorOf([] {
              ScanCommandArgs("scan", {"--delay"}, {{"--delay", true}});
            }).first,
            "scan: option '--delay' needs a value");
}

TEST(CliNumbers, DecimalAndHexadecimalWithinTheirRanges) {
  EXPECT_EQ(ParseDecimal("403000000", 0, 999999999, "frequency", "tune"), 403000000);
  EXPECT_EQ(ParseHex("0x1F", 0xFFFF, "frames value", "tune"), 0x1Fu);
  EXPECT_EQ(ParseHex("$ff", 0xFFFF, "frames value", "tune"), 0xFFu);
  EXPECT_EQ(ParseHex("b35", 0xFFFFF, "length", "read"), 0xB35u);

  EXPECT_EQ(UsageErrorOf([] { ParseDecimal("12a", 0, 99, "delay", "scan"); }).first,
            "scan: the delay '12a' is not a decimal number");
  EXPECT_EQ(UsageErrorOf([] { ParseDecimal("", 0, 99, "delay", "scan"); }).first,
            "scan: the delay '' is not a decimal number");
  EXPECT_EQ(UsageErrorOf([] { ParseDecimal("-1", 0, 99, "delay", "scan"); }).first,
            "scan: the delay -1 is out of range (0 to 99)");
  EXPECT_NE(UsageErrorOf([] {
              ParseDecimal("99999999999999999999", 0, 99, "x", "c");
            }).first.find("out of range"),
            std::string::npos);
  EXPECT_EQ(UsageErrorOf([] { ParseHex("100000", 0xFFFFF, "base", "read"); }).first,
            "read: the base 100000 is out of range (0 to FFFFF)");
  EXPECT_EQ(UsageErrorOf([] { ParseHex("0x", 0xFF, "base", "read"); }).first,
            "read: the base '0x' is not a hexadecimal number");
  EXPECT_EQ(UsageErrorOf([] { ParseHex("-1", 0xFF, "base", "read"); }).first,
            "read: the base '-1' is not a hexadecimal number");
}

TEST(CliCommands, SendTakesEveryCommandButtonForm) {
  EXPECT_EQ(ReadSendBytes({"03", "11", "80", "3F", "6F"}),
            (std::vector<uint8_t>{0x03, 0x11, 0x80, 0x3F, 0x6F}));
  EXPECT_EQ(ReadSendBytes({"0x01, 0x02,0x3F"}), (std::vector<uint8_t>{0x01, 0x02, 0x3F}));
  EXPECT_EQ(ReadSendBytes({"#1#a", "$FF", "1234"}), (std::vector<uint8_t>{0x01, 0x0A, 0xFF, 0x34}));
  EXPECT_EQ(UsageErrorOf([] {
              ReadSendBytes({"01", "zz"});
            }),
            std::make_pair(std::string("send: ''$zz'' is not a valid integer value"),
                           std::string("send")));
  EXPECT_EQ(UsageErrorOf([] { ReadSendBytes({}); }).first, "send: no bytes given");
  EXPECT_EQ(UsageErrorOf([] { ReadSendBytes({","}); }).first, "send: no bytes given");
}

TEST(CliCommands, TuneReadsTheTuneTabsChoices) {
  const TTuneRequest plain = ReadTuneRequest({"403000000"});
  EXPECT_EQ(plain.FreqHz, 403000000);
  EXPECT_EQ(plain.Setting.Channel, 4480);  // 6.25 kHz, as the tab starts
  EXPECT_EQ(plain.Setting.StepIndex, 1);
  EXPECT_TRUE(plain.Setting.Rx);
  EXPECT_FALSE(plain.Setting.Is800 || plain.Setting.Sbep || plain.ToLcd);
  EXPECT_EQ(plain.Setting.Frames, 0x00FF);

  const TTuneRequest all =
      ReadTuneRequest({"403000000", "--step", "5", "--tx", "--800", "--lcd", "--sbep",
                       "--modulation", "2", "--audio=2", "--continuous", "no", "--frames", "1a"});
  EXPECT_EQ(all.Setting.Channel, 5600);
  EXPECT_EQ(all.Setting.StepIndex, 0);
  EXPECT_FALSE(all.Setting.Rx);
  EXPECT_TRUE(all.Setting.Is800 && all.Setting.Sbep && all.ToLcd);
  EXPECT_EQ(all.Setting.ModulationIndex, 2);
  EXPECT_EQ(all.Setting.AudioIndex, 2);
  EXPECT_EQ(all.Setting.ContinuousIndex, 0);
  EXPECT_EQ(all.Setting.Frames, 0x001A);

  EXPECT_EQ(ReadTuneRequest({"100000000"}).Setting.Channel, 0);  // below the lowest band

  const std::vector<std::pair<Words, std::string>> mistakes{
      {{}, "tune: no frequency given"},
      {{"403000000", "403000001"}, "tune: one frequency, in Hz, please"},
      {{"403.5"}, "tune: the frequency '403.5' is not a decimal number"},
      {{"1000000000"}, "tune: the frequency 1000000000 is out of range (0 to 999999999)"},
      {{"-5"}, "tune: the frequency -5 is out of range"},
      {{"403000000", "--step", "12.5"}, "tune: --step takes one of 5, 6.25 (kHz), not '12.5'"},
      {{"403000000", "--audio", "1"}, "tune: --audio belongs to the SBEP frame; add --sbep"},
      {{"403000000", "--sbep", "--modulation", "4"}, "the modulation 4 is out of range (0 to 3)"},
      {{"403000000", "--sbep", "--continuous", "maybe"}, "--continuous takes yes or no"},
      {{"403000000", "--sbep", "--frames", "10000"}, "the frames value 10000 is out of range"},
      {{"403000000", "--sbep", "--frames", "0G"}, "the frames value '0G' is not a hexadecimal"},
  };
  for (const auto& [args, message] : mistakes) {
    const auto [what, command] = UsageErrorOf([&] { ReadTuneRequest(args); });
    EXPECT_NE(what.find(message), std::string::npos) << what;
    EXPECT_EQ(command, "tune");
  }
}

TEST(CliCommands, LcdJoinsItsWordsAndRefusesWhatTheDisplayCannotTake) {
  EXPECT_EQ(ReadLcdText({"SELF", "CHECK"}), "SELF CHECK");
  EXPECT_EQ(ReadLcdText({""}), "");
  EXPECT_EQ(ReadLcdText({"--", "-5 dB"}), "-5 dB");
  EXPECT_EQ(ReadLcdText({std::string(124, 'A')}).size(), 124u);
  EXPECT_EQ(UsageErrorOf([] { ReadLcdText({std::string(125, 'A')}); }).first,
            "lcd: the text is 125 bytes long; the radio's display takes at most 124");
  EXPECT_EQ(UsageErrorOf([] { ReadLcdText({}); }).first, "lcd: no text given");
}

TEST(CliCommands, ScanReadsTheScanTabsChoices) {
  const TScanRequest plain = ReadScanRequest({"100", "103"});
  EXPECT_EQ(plain.Range.From, 100);
  EXPECT_EQ(plain.Range.To, 103);
  EXPECT_EQ(plain.Range.DelayMs, 3000);
  EXPECT_EQ(plain.Choices.StepIndex, 0);  // 5 kHz, the list's first item
  EXPECT_TRUE(plain.Choices.Rx);
  EXPECT_FALSE(plain.Choices.Is800 || plain.Choices.Sbep);

  const TScanRequest all =
      ReadScanRequest({"70000", "0", "--delay", "50", "--step", "12.5", "--tx", "--800", "--sbep"});
  EXPECT_EQ(all.Range.From, 70000);
  EXPECT_EQ(all.Range.To, 0);  // nothing to send, as in the window
  EXPECT_EQ(all.Range.DelayMs, 50);
  EXPECT_EQ(all.Choices.StepIndex, 2);
  EXPECT_FALSE(all.Choices.Rx);
  EXPECT_TRUE(all.Choices.Is800 && all.Choices.Sbep);
  EXPECT_EQ(ReadScanRequest({"1", "2", "--step", "30"}).Choices.StepIndex, 5);
  EXPECT_EQ(ReadScanRequest({"1", "2", "--step", "5.0"}).Choices.StepIndex, 0);

  const std::vector<std::pair<Words, std::string>> mistakes{
      {{"100"}, "scan: FROM and TO, two channel numbers, please"},
      {{"1", "2", "3"}, "scan: FROM and TO, two channel numbers, please"},
      {{"1o0", "200"}, "scan: the channel '1o0' is not a decimal number"},
      {{"100", "100000"}, "scan: the channel 100000 is out of range (0 to 99999)"},
      {{"100", "200", "--delay", "-1"}, "scan: the delay -1 is out of range"},
      {{"100", "200", "--step", "7"},
       "scan: --step takes one of 5, 6.25, 12.5, 20, 25, 30 (kHz), not '7'"},
      {{"100", "200", "--lcd"}, "scan: unknown option '--lcd'"},
  };
  for (const auto& [args, message] : mistakes) {
    const auto [what, command] = UsageErrorOf([&] { ReadScanRequest(args); });
    EXPECT_NE(what.find(message), std::string::npos) << what;
    EXPECT_EQ(command, "scan");
  }
}

TEST(CliCommands, ReadTakesADeviceARangeAndAFileWhoseNameGivesTheFormat) {
  const TReadRequest standard = ReadReadRequest({"eeprom-default", "-o", "radio.S19"});
  EXPECT_EQ(standard.Device, EepromDefault);
  EXPECT_EQ(standard.OutFile, "radio.S19");
  EXPECT_TRUE(standard.SRecords);

  const TReadRequest flash =
      ReadReadRequest({"flash2", "--base", "0x12345", "--length=100", "--output", "f.bin"});
  EXPECT_EQ(flash.Device, Flash2);
  EXPECT_EQ(flash.Fields.Base, "12345");
  EXPECT_EQ(flash.Fields.Length, "100");
  EXPECT_FALSE(flash.SRecords);
  const TReadRequest direct = ReadReadRequest({"direct", "--length", "FFFFF", "-o", "d.mot"});
  EXPECT_EQ(direct.Device, Direct);
  EXPECT_EQ(direct.Fields.Base, "0");
  EXPECT_TRUE(direct.SRecords);
  EXPECT_EQ(ReadReadRequest({"flash1", "--base", "FFFFF", "--length", "1", "-o", "x"}).Device,
            Flash1);  // the last address
  EXPECT_EQ(ReadReadRequest({"eeprom", "--length", "0", "-o", "x.srec"}).Fields.Length, "0");

  for (const char* name : {"a.s19", "a.SREC", "b/c.mot"}) EXPECT_TRUE(IsSRecordFileName(name));
  for (const char* name : {"a.bin", "a.hex", "s19", "a.s19.bak"})
    EXPECT_FALSE(IsSRecordFileName(name)) << name;

  EXPECT_EQ(UsageErrorOf([] {
              ReadReadRequest({"eeprom", "x", "-o", "y"});
            }).first,
            "read: one DEVICE, please; the file goes after -o");
  EXPECT_EQ(UsageErrorOf([] {
              ReadReadRequest({"eeprom", "--length", "100001", "-o", "y"});
            }).first,
            "read: memory range refused: base 0 length 100001 lies outside the addresses 0 to "
            "FFFFF");
}

class CliImageFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kestrune-cli-image-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string File(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
    return (dir_ / name).string();
  }
  fs::path dir_;
};

TEST_F(CliImageFileTest, WriteLoadsTheImageBeforeThePortOpens) {
  // 01 02 03 at 0100, as S-records.
  const TWriteRequest srec =
      ReadWriteRequest({"flash1", File("a.s19", "S1060100010203F2\r\nS9030000FC"), "--verify"});
  EXPECT_EQ(srec.Device, Flash1);
  EXPECT_TRUE(srec.Verify);
  EXPECT_EQ(srec.Fields.Base, "100");
  EXPECT_EQ(srec.Fields.Length, "3");
  ASSERT_EQ(srec.Image.image.size(), 0x103u);
  EXPECT_EQ(srec.Image.image[0x101], 0x02);

  const TWriteRequest raw = ReadWriteRequest({"eeprom-default", File("a.bin", "xyz")});
  EXPECT_EQ(raw.Device, EepromDefault);
  EXPECT_FALSE(raw.Verify);
  EXPECT_EQ(raw.Fields.Base, "0");  // a raw image starts at address 0
  EXPECT_EQ(raw.Fields.Length, "3");

  const std::string missing = (dir_ / "missing.bin").string();
  EXPECT_NE(UsageErrorOf([&] {
              ReadWriteRequest({"eeprom", missing});
            }).first.find("write: Unable to read " + missing),
            std::string::npos);
  EXPECT_EQ(UsageErrorOf([&] {
              ReadWriteRequest({"eeprom", File("e.mot", "S9030000FC")});
            }).first,
            "write: " + (dir_ / "e.mot").string() + " holds no image");
  // An S2 record past the 20-bit addresses: 01 at 0x100000.
  EXPECT_NE(UsageErrorOf([&] {
              ReadWriteRequest({"flash1", File("far.s19", "S20510000001E9\r\n")});
            }).first.find("write: memory range refused: base 100000 length 1"),
            std::string::npos);
  EXPECT_EQ(UsageErrorOf([&] {
              ReadWriteRequest({"flash1", "a", "b"});
            }).first,
            "write: one DEVICE and one FILE, please");
}

class CliPortSetupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kestrune-cli-setup-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    SetSerialDeviceMap({});
    fs::remove_all(dir_);
  }
  std::string Settings(const std::string& text) {
    const fs::path path = dir_ / "settings.ini";
    std::ofstream(path) << text;
    return path.string();
  }
  fs::path dir_;
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
  options.Parity = 0;
  setup = ResolvePortSetup(options);
  EXPECT_EQ(setup.Name, "COM1");
  EXPECT_EQ(setup.Baud, 19200);
  EXPECT_EQ(setup.Parity, 0);
  options.Device = "/dev/ttyUSB7";
  EXPECT_EQ(ResolvePortSetup(options).Name, "/dev/ttyUSB7");
}

TEST_F(CliPortSetupTest, WithoutSettingsTheLineIsANewWindows) {
  TLineOptions options;
  options.Settings = Settings("");
  const TPortSetup setup = ResolvePortSetup(options);
  EXPECT_EQ(setup.Name, "COM1");
  EXPECT_EQ(setup.Baud, 9600);
  EXPECT_EQ(setup.Bits, 8);
  EXPECT_EQ(setup.StopBits, 0);
  EXPECT_EQ(setup.Parity, 0);
  EXPECT_EQ(DefaultSettingsFile(), ProgramDir() + "settings.ini");
}

TEST_F(CliPortSetupTest, ABadSettingOrAnUnreadableFileIsAUsageError) {
  TLineOptions options;
  options.Settings = (dir_ / "missing.ini").string();
  EXPECT_NE(UsageErrorOf([&] {
              ResolvePortSetup(options);
            }).first.find("cannot read the settings file " + options.Settings),
            std::string::npos);

  options.Settings = Settings("[port]\nBaud=fast\n");
  EXPECT_EQ(UsageErrorOf([&] { ResolvePortSetup(options); }).first,
            options.Settings + ": the [port] Baud 'fast' is not a decimal number");
  options.Baud = 9600;  // a setting that is not used is not checked
  EXPECT_EQ(ResolvePortSetup(options).Baud, 9600);
}

TEST(CliProgress, BytesRateAndTimeLeft) {
  EXPECT_EQ(FormatBytes(512), "512 B");
  EXPECT_EQ(FormatBytes(2869), "2.8 KiB");
  EXPECT_EQ(FormatBytes(1 << 20), "1.0 MiB");
  EXPECT_EQ(FormatDuration(29.2), "0:30");
  EXPECT_EQ(FormatDuration(3725), "1:02:05");

  EXPECT_EQ(FormatProgress(0, 2869, 0, 10), "[..........]  0 B of 2.8 KiB  -- B/s  --:-- left");
  EXPECT_EQ(FormatProgress(1000, 2000, 10, 10),
            "[#####.....]  1000 B of 2.0 KiB  100 B/s  0:10 left");
  EXPECT_EQ(FormatProgress(2868, 2868, 60, 10),
            "[##########]  2.8 KiB of 2.8 KiB  47 B/s  0:00 left");
  EXPECT_EQ(FormatProgress(0, 0, 0, 4), "[####]  0 B of 0 B  -- B/s  --:-- left");
}

}  // namespace
}  // namespace kestrune::cli
