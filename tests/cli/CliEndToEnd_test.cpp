// The built kestrune-cli against the built kestrune-sim on a pseudo-terminal:
// what reaches the radio, what is logged, and the exit status.
#include <gtest/gtest.h>

#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "CliTestKit.h"

namespace kestrune::test {
namespace {

using Texts = std::vector<std::string>;

TEST(CliSend, TheBytesGoOutAsWrittenAndTheRadioRecordsThem) {
  TCliBench bench;
  const TCliRun run = bench.Run({"send", "03", "11", "80", "3F", "6F"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(bench.WaitForTrace("CHANNEL NUMBER: channel 4480, mode byte 03  [03 11 80 3F 6F]"));
  EXPECT_EQ(LogTexts(run.out),
            (Texts{"Port " + bench.Link().string() + " is open", "Port closed"}));
  EXPECT_EQ(run.err, "");

  // The loose form of a command button, with the dumps of the window's log;
  // the echo may come back in more than one piece.
  const TCliRun loose = bench.Run({"--dump", "send", "0x03,0x11,0x80,0x3F,0x6F"});
  EXPECT_EQ(loose.status, 0) << loose.err;
  const Texts texts = LogTexts(loose.out);
  ASSERT_GE(texts.size(), 4u) << loose.out;
  EXPECT_EQ(texts[1], "TX(5) 03 11 80 3F 6F   |  ????o");
  std::string echo;
  for (const std::string& text : texts) {
    if (!text.starts_with("RX(")) continue;
    const size_t bytes = text.find(") ") + 2;  // "RX(n) 03 11   |  ??"
    echo += text.substr(bytes, text.find("  |") - bytes);
  }
  EXPECT_EQ(echo, "03 11 80 3F 6F ") << loose.out;
}

TEST(CliSend, ASilentRadioCostsThreeAttemptsAndExits1) {
  TCliBench bench({"--silent"});
  const TCliRun run = bench.Run({"--dump", "send", "03", "11", "80", "3F", "6F"});
  EXPECT_EQ(run.status, 1);
  const Texts texts = LogTexts(run.out);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "TX(5) 03 11 80 3F 6F   |  ????o"), 3);
  EXPECT_EQ(run.err, "kestrune-cli: the radio did not answer\n");
}

// A settings.ini beside the program that is there but cannot be read would
// leave COM1 at /dev/ttyS0: a line the operator never chose.
TEST(CliPort, ASettingsFileThatCannotBeReadExits2NamingIt) {
  TCliBench bench;
  const fs::path folder = bench.Dir() / "program";
  fs::create_directory(folder);
  const fs::path program = folder / "kestrune-cli";
  fs::copy_file(KESTRUNE_CLI_PROGRAM, program);
  const fs::path settings = folder / "settings.ini";
  const auto run = [&](const std::vector<std::string>& args) {
    std::vector<std::string> all{program.string()};
    all.insert(all.end(), args.begin(), args.end());
    Process cli(all, ProcessIo{bench.Dir(), {}, bench.Out(), bench.Err(), {}});
    return TCliRun{cli.Wait(), ReadFile(bench.Out()), ReadFile(bench.Err())};
  };

  fs::create_directory(settings);
  TCliRun folderRun = run({"lcd", "X"});
  EXPECT_EQ(folderRun.status, 2);
  EXPECT_TRUE(Contains(folderRun.err,
                       "cannot read the settings file " + settings.string() + ": it is a folder"))
      << folderRun.err;
  // Given by name, a folder is refused as well.
  const TCliRun named = run({"--settings", bench.Dir().string(), "lcd", "X"});
  EXPECT_EQ(named.status, 2);
  EXPECT_TRUE(Contains(
      named.err, "cannot read the settings file " + bench.Dir().string() + ": it is a folder"))
      << named.err;

  fs::remove(settings);
  fs::create_symlink(folder / "gone.ini", settings);
  const TCliRun dangling = run({"lcd", "X"});
  EXPECT_EQ(dangling.status, 2);
  EXPECT_TRUE(Contains(dangling.err, "cannot read the settings file " + settings.string() +
                                         ": it is a link to nothing"))
      << dangling.err;
  EXPECT_FALSE(Contains(bench.Trace(), "PC>"));

  // A sound file beside the program is used: its device map leads to the radio.
  fs::remove(settings);
  std::ofstream(settings) << "[devices]\nCOM1=" << bench.Link().string() << "\n";
  const TCliRun sound = run({"lcd", "X"});
  EXPECT_EQ(sound.status, 0) << sound.err;
}

TEST(CliPort, AMissingDeviceExits3) {
  TCliBench bench;
  const TCliRun run =
      bench.Run({"--device", (bench.Dir() / "no-such-device").string(), "lcd", "X"}, false);
  EXPECT_EQ(run.status, 3);
  EXPECT_TRUE(Contains(run.out, "Cannot open " + (bench.Dir() / "no-such-device").string()))
      << run.out;
  EXPECT_TRUE(Contains(run.err, "could not be opened")) << run.err;
  EXPECT_FALSE(Contains(bench.Trace(), "PC>"));
}

TEST(CliPort, ComNamesAreMappedThroughTheSettingsFilesDevices) {
  TCliBench bench;
  const fs::path settings = bench.Dir() / "settings.ini";
  std::ofstream(settings) << "[port]\nindex=1\nBaud=9600\n[devices]\nCOM2=" << bench.Link().string()
                          << "\n";
  const TCliRun run = bench.Run({"--settings", settings.string(), "send", "03 11 80 3F 6F"}, false);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(LogTexts(run.out), (Texts{"Port COM2 is open", "Port closed"}));
}

// A device node the user may not open: the refusal, then the hint naming
// the node's group and the command that joins it. The program runs as
// "nobody" (root opens any node); it needs root to become someone else.
TEST(CliPort, ARefusedDeviceGetsTheHintNamingItsGroup) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run the program as another user";
  TCliBench bench;
  // Its folders open to "nobody", the node to no one but its owner.
  fs::permissions(bench.Dir(), fs::perms::others_exec, fs::perm_options::add);
  const fs::path shared = bench.Dir() / "shared";
  fs::create_directory(shared);
  fs::permissions(shared, fs::perms::all);
  const fs::path node = bench.Dir() / "ttyUSB9";
  std::ofstream(node) << "";
  fs::permissions(node, fs::perms::owner_read | fs::perms::owner_write);
  struct stat info {};
  ASSERT_EQ(stat(node.c_str(), &info), 0);
  const group* owner = getgrgid(info.st_gid);
  ASSERT_NE(owner, nullptr);
  const std::string group = owner->gr_name;

  const fs::path out = shared / "out.txt";
  const fs::path err = shared / "err.txt";
  const int status = RunAsOrdinaryUser([&] {
    Process cli({KESTRUNE_CLI_PROGRAM, "--device", node.string(), "lcd", "X"},
                ProcessIo{shared,
                          {},
                          out,
                          err,
                          {"HOME=" + shared.string(), "XDG_CONFIG_HOME=" + shared.string()}});
    return cli.Wait();
  });
  EXPECT_EQ(status, 3) << ReadFile(err);
  const Texts texts = LogTexts(ReadFile(out));
  ASSERT_GE(texts.size(), 2u) << ReadFile(out);
  EXPECT_EQ(texts[0], "Cannot open " + node.string() + " 13 : \"Permission denied\"");
  EXPECT_EQ(std::count(texts.begin(), texts.end(),
                       node.string() + " belongs to group " + group + ": run  sudo usermod -aG " +
                           group + " $USER  and log in again"),
            1)
      << ReadFile(out);
  EXPECT_FALSE(Contains(bench.Trace(), "PC>"));
}

// The device list depends on the machine; the map is the settings file's.
TEST(CliPorts, ListsTheDevicesAndTheComMapAndExits0OpeningNothing) {
  TCliBench bench;
  const fs::path settings = bench.Dir() / "settings.ini";
  std::ofstream(settings) << "[devices]\nCOM2=" << bench.Link().string() << "\ncom4=/dev/ttyUSB3\n";
  const TCliRun run = bench.Run({"--settings", settings.string(), "ports"}, false);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_TRUE(run.out.starts_with("Serial devices:\n  ")) << run.out;
  const std::string map = "Ports (" + settings.string() +
                          "):\n"
                          "  COM1 = /dev/ttyS0 (default)\n"
                          "  COM2 = " +
                          bench.Link().string() +
                          "\n"
                          "  COM3 = /dev/ttyS2 (default)\n"
                          "  COM4 = /dev/ttyUSB3\n";
  EXPECT_TRUE(run.out.ends_with(map)) << run.out;
  EXPECT_FALSE(Contains(run.out, "is open")) << run.out;
  EXPECT_FALSE(Contains(bench.Trace(), "PC>"));  // the radio's line was left alone
}

// The radio's adapter pulled out in a scan's long pause: the hang-up is
// reported at once, not after the pause, and the run fails.
TEST(CliPort, AnAdapterUnpluggedMidRunIsReportedAndExits1) {
  TCliBench bench;
  auto cli = bench.Start({"scan", "100", "200", "--delay", "600000"});
  ASSERT_TRUE(WaitForText(bench.Out(), "channel 100 set", kProgramPatience));
  bench.UnplugRadio();
  EXPECT_EQ(cli->Wait(), 1);  // long before the ten-minute pause is over
  const Texts texts = LogTexts(ReadFile(bench.Out()));
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "PORT_ERROR_HANGUP 5 : \"Input/output error\""),
            1)
      << ReadFile(bench.Out());
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "channel 101 set"), 0);
  EXPECT_TRUE(Contains(ReadFile(bench.Err()), bench.Link().string() + " was unplugged\n"))
      << ReadFile(bench.Err());
}

TEST(CliLog, TheLogFileGetsTheSameLinesWithCrLf) {
  TCliBench bench;
  const fs::path log = bench.Dir() / "run.log";
  const TCliRun run = bench.Run({"--log", log.string(), "send", "03 11 80 3F 6F"});
  EXPECT_EQ(run.status, 0) << run.err;
  std::string file = ReadFile(log);
  EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 2);
  EXPECT_EQ(std::count(file.begin(), file.end(), '\r'), 2);
  std::erase(file, '\r');
  EXPECT_EQ(file, run.out);

  const TCliRun refused =
      bench.Run({"--log", (bench.Dir() / "no" / "x.log").string(), "send", "01"});
  EXPECT_EQ(refused.status, 2);
  EXPECT_TRUE(Contains(refused.err, "--log: Cannot open file")) << refused.err;
}

TEST(CliTune, TheRadioGetsWhatTheTuneTabSendsForTheSameChoices) {
  TCliBench bench;
  const TCliRun plain = bench.Run({"tune", "403000000"});
  EXPECT_EQ(plain.status, 0) << plain.err;
  EXPECT_TRUE(bench.WaitForTrace("CHANNEL NUMBER: channel 4480, mode byte 03  [03 11 80 3F 6F]"));
  EXPECT_EQ(LogTexts(plain.out)[1], "channel 4480 freq 403000000 set");

  const TCliRun sbep = bench.Run({"tune", "403000000", "--sbep"});
  EXPECT_EQ(sbep.status, 0) << sbep.err;
  EXPECT_TRUE(bench.WaitForTrace("EXPANDED PROTOCOL REQUEST: device 1"));
  EXPECT_TRUE(bench.WaitForTrace("[F8 2B 00 11 1A 00 FF 11 80 21]"));
  EXPECT_EQ(LogTexts(sbep.out),
            (Texts{"Port " + bench.Link().string() + " is open", "SBEP mode: success",
                   "leaving SBEP mode", "channel 4480 freq 403000000 set", "Port closed"}));

  const TCliRun options = bench.Run(
      {"tune", "403000000", "--sbep", "--modulation", "2", "--audio", "2", "--continuous", "no"});
  EXPECT_EQ(options.status, 0) << options.err;
  EXPECT_TRUE(bench.WaitForTrace("[F8 2B 00 69 1A 00 FF 11 80 C9]"));

  // TX, 5 kHz, 800 MHz band: mode byte 0x10; 851012500 Hz is channel 10001.
  const TCliRun tx = bench.Run({"tune", "851012500", "--step", "5", "--tx", "--800", "--lcd"});
  EXPECT_EQ(tx.status, 0) << tx.err;
  EXPECT_TRUE(bench.WaitForTrace("CHANNEL NUMBER: channel 10001, mode byte 10  [10 27 11 3F"));
  EXPECT_TRUE(bench.WaitForTrace("display text: \"851*013\""));
  EXPECT_EQ(LogTexts(tx.out).at(3), "channel 10001 freq 851012500 set");
}

TEST(CliLcd, TheDisplayFrameOfTheLcdTab) {
  TCliBench bench;
  const TCliRun run = bench.Run({"lcd", "SELF", "CHECK"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(bench.WaitForTrace("EXPANDED PROTOCOL REQUEST: device 5  [00 12 05 06 39]"));
  EXPECT_TRUE(bench.WaitForTrace(
      "[1F 00 1A 80 08 0A 00 00 53 45 4C 46 20 43 48 45 43 4B 00 00 00 00 00 00 00 00 00 00 8C]"));

  // A display that refuses the frame: exit status 1.
  bench.RestartSimulator({"--refuse-ack", "all"});
  const TCliRun refused = bench.Run({"lcd", "X"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_TRUE(Contains(LogTexts(refused.out).at(1), "SBEP mode: error"));
  EXPECT_EQ(refused.err, "kestrune-cli: the radio did not answer, or refused the frame\n");
}

TEST(CliScript, StandardInputAndFilesRunInTheCustomPagesLanguage) {
  TCliBench bench;
  const TCliRun run =
      bench.Run({"script", "-"}, true, "sbep 1\nF5 11 02 00 00 02 00\ndelay 200\nsb9600\n");
  EXPECT_EQ(run.status, 0) << run.err;
  // The last byte became the checksum.
  EXPECT_TRUE(
      bench.WaitForTrace("Read_Data_Request: 2 bytes at eeprom 00002  [F5 11 02 00 00 02 F5]"));
  EXPECT_EQ(LogTexts(run.out),
            (Texts{"Port " + bench.Link().string() + " is open", "SBEP mode: success",
                   "leaving SBEP mode", "leaving SBEP mode", "Port closed"}));

  // A file with CR LF line ends: the fifth byte becomes the check byte, a bad
  // line is logged and the rest still runs.
  std::ofstream(bench.Dir() / "s.txt") << "00 12 05 06 00\r\n01 zz\r\nSB9600\r\n";
  const TCliRun file = bench.Run({"script", "s.txt"});
  EXPECT_EQ(file.status, 1);
  EXPECT_TRUE(bench.WaitForTrace("EXPANDED PROTOCOL REQUEST: device 5  [00 12 05 06 39]"));
  EXPECT_EQ(LogTexts(file.out).at(1), "01 zz: ''$zz'' is not a valid integer value");
  EXPECT_EQ(file.err,
            "kestrune-cli: 1 line of the script did not go through; the log says which\n");
}

TEST(CliScript, EndlessOrOverlongInputEndsWithAnErrorNamingTheLine) {
  TCliBench bench;
  Process endless({KESTRUNE_CLI_PROGRAM, "--device", bench.Link().string(), "script", "/dev/zero"},
                  {bench.Dir(), "/dev/null", "/dev/null", bench.Err(), {}});
  EXPECT_EQ(endless.Wait(), 2);
  EXPECT_LT(endless.PeakResidentKiB(), 50 * 1024);
  EXPECT_TRUE(Contains(ReadFile(bench.Err()),
                       "kestrune-cli: script: line 1 is longer than 256 KiB; nothing was sent"))
      << ReadFile(bench.Err());

  // The line is counted as the window counts lines: CR LF, LF and a lone CR.
  std::ofstream(bench.Dir() / "long.txt")
      << "sbep 1\r\nsb9600\ndelay 1\r" << std::string(300 * 1024, '0') << "\n";
  const TCliRun run = bench.Run({"script", "long.txt"});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(Contains(run.err, "script: line 4 is longer than 256 KiB")) << run.err;
  EXPECT_FALSE(Contains(bench.Trace(), "PC>"));

  // A line separator (U+2028) ends a script line as a line end does.
  const TCliRun separated = bench.Run({"script", "-"}, true, "sbep 1\u2028sb9600\n");
  EXPECT_EQ(separated.status, 0) << separated.err;
  EXPECT_EQ(LogTexts(separated.out).at(1), "SBEP mode: success");
}

TEST(CliScan, TheRadioGetsTheScanTabsChannelsAndAFailureCounts) {
  TCliBench bench;
  const TCliRun run = bench.Run({"scan", "100", "103", "--delay", "100"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(LogTexts(run.out),
            (Texts{"Port " + bench.Link().string() + " is open", "channel 100 set",
                   "channel 101 set", "channel 102 set", "Port closed"}));
  // RX, 5 kHz: mode byte 01; To itself is not sent.
  for (const char* frame :
       {"channel 100, mode byte 01  [01 00 64 3F", "channel 101, mode byte 01  [01 00 65 3F",
        "channel 102, mode byte 01  [01 00 66 3F"})
    EXPECT_TRUE(bench.WaitForTrace(frame)) << frame;
  EXPECT_FALSE(Contains(bench.Trace(), "channel 103"));

  const TCliRun sbep = bench.Run({"scan", "200", "202", "--delay", "0", "--sbep", "--step", "25"});
  EXPECT_EQ(sbep.status, 0) << sbep.err;
  EXPECT_TRUE(bench.WaitForTrace("tune: channel 200, frames 0002, option 11"));
  EXPECT_TRUE(bench.WaitForTrace("tune: channel 201, frames 0002, option 11"));

  bench.RestartSimulator({"--refuse-ack", "all"});
  const TCliRun refused = bench.Run({"scan", "300", "302", "--delay", "0", "--sbep"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "kestrune-cli: the radio did not take 2 channels\n");
}

TEST(CliSignals, SigintEndsAScanInItsPauseAndExits130) {
  TCliBench bench;
  auto cli = bench.Start({"scan", "100", "200", "--delay", "600000"});
  ASSERT_TRUE(WaitForText(bench.Out(), "channel 100 set", kProgramPatience));
  cli->Signal(SIGINT);
  EXPECT_EQ(cli->Wait(), 130);  // long before the ten-minute pause is over
  const Texts texts = LogTexts(ReadFile(bench.Out()));
  EXPECT_EQ(texts.back(), "Port closed");
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "channel 101 set"), 0);
  EXPECT_EQ(ReadFile(bench.Err()),
            "kestrune-cli: stopping after the step in progress (a second SIGINT stops at once)\n"
            "kestrune-cli: stopped by SIGINT\n");
}

TEST(CliSignals, SigtermLetsTheAttemptRunningFinishAndStartsNoOtherOne) {
  TCliBench bench({"--drop-echo", "1"});  // the first attempt waits its 3 s in vain
  auto cli = bench.Start({"--dump", "send", "03 11 80 3F 6F"});
  ASSERT_TRUE(WaitForText(bench.Out(), "TX(5)", kProgramPatience));
  cli->Signal(SIGTERM);
  EXPECT_EQ(cli->Wait(), 143);
  const Texts texts = LogTexts(ReadFile(bench.Out()));
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "TX(5) 03 11 80 3F 6F   |  ????o"), 1);
  EXPECT_EQ(texts.back(), "Port closed");
  EXPECT_EQ(ReadFile(bench.Err()),
            "kestrune-cli: stopping after the step in progress (a second SIGTERM stops at once)\n"
            "kestrune-cli: the radio did not answer\n"
            "kestrune-cli: stopped by SIGTERM\n");
}

TEST(CliSignals, SigtermEndsAScriptDelayAtOnceAndTheScriptStillLeavesSbepMode) {
  TCliBench bench;
  std::ofstream(bench.Dir() / "s.txt") << "sbep 1\ndelay 600000\nF5 11 02 00 00 02 00\n";
  auto cli = bench.Start({"script", "s.txt"});
  ASSERT_TRUE(WaitForText(bench.Out(), "SBEP mode: success"));
  cli->Signal(SIGTERM);
  EXPECT_EQ(cli->Wait(), 143);  // long before the ten-minute delay is over
  const Texts texts = LogTexts(ReadFile(bench.Out()));
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "leaving SBEP mode"), 1);
  EXPECT_EQ(texts.back(), "Port closed");
  EXPECT_EQ(bench.Trace().find("F5 11 02 00 00 02"), std::string::npos) << bench.Trace();
}

// A second signal does not wait for the closing: with a silent radio that
// would be an attempt of 3 s per closing exchange.
TEST(CliSignals, ASecondSigintEndsTheProgramAtOnceSayingWhatWasLeftUndone) {
  TCliBench bench({"--silent"});
  auto cli =
      bench.Start({"--dump", "read", "eeprom", "--base", "0", "--length", "40", "-o", "x.bin"});
  // In the first request's attempt, which waits its 3 s in vain: the closing
  // cannot be over before the second signal comes.
  ASSERT_TRUE(WaitForText(bench.Out(), "TX(5) "));
  cli->Signal(SIGINT);
  ASSERT_TRUE(WaitForText(bench.Err(), "a second SIGINT stops at once"));
  cli->Signal(SIGINT);
  EXPECT_EQ(cli->Wait(), 130);
  const std::string err = ReadFile(bench.Err());
  EXPECT_NE(err.find("kestrune-cli: stopped at once by a second SIGINT"), std::string::npos) << err;
  EXPECT_EQ(ReadFile(bench.Out()).find("Port closed"), std::string::npos);
  EXPECT_FALSE(fs::exists(bench.Dir() / "x.bin"));
}

// A mistake in a command's words names the command and hints at its help;
// any other names the program's.
TEST(CliUsage, EveryMistakeExits2WithItsMessageAndAHint) {
  TCliBench bench;
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
      {{}, "no command given"},
      {{"bogus"}, "unknown command 'bogus'"},
      {{"ports", "COM1"}, "ports: takes no words"},
      {{"help", "bogus"}, "unknown command 'bogus'"},
      {{"--frobnicate", "send", "01"}, "unknown option '--frobnicate'"},
      {{"--port", "COM9", "lcd", "x"}, "--port takes COM1, COM2, COM3 or COM4"},
      {{"--port", "COM1", "lcd", "x"}, "--port and --device name the line twice"},
      {{"--baud", "0", "lcd", "x"}, "--baud: ''0'' is not a valid baud rate (1 to 4000000)"},
      {{"--baud", "fast", "lcd", "x"}, "--baud: ''fast'' is not a valid integer value"},
      {{"--bits", "9", "lcd", "x"}, "--bits: ''9'' is not a valid number of data bits (5 to 8)"},
      {{"--parity", "often", "lcd", "x"}, "--parity takes one of none, odd, even, mark, space"},
      {{"--stop-bits", "3", "lcd", "x"}, "--stop-bits takes one of 1, 1.5, 2, not '3'"},
      {{"--dump=yes", "lcd", "x"}, "option '--dump' takes no value"},
      {{"lcd", "x", "--log"}, "option '--log' needs a value"},
      {{"--settings", "/nonexistent/settings.ini", "lcd", "x"},
       "cannot read the settings file /nonexistent/settings.ini"},
      {{"script"}, "script: one FILE, or - for standard input, please"},
      {{"script", "missing.txt"}, "script: Unable to read missing.txt"},
      {{"send"}, "send: no bytes given"},
      {{"send", ","}, "send: no bytes given"},
      {{"send", "03", "1G"}, "send: ''$1G'' is not a valid integer value"},
      {{"tune"}, "tune: no frequency given"},
      {{"tune", "403000000", "403000001"}, "tune: one frequency, in Hz, please"},
      {{"tune", "abc"}, "tune: the frequency 'abc' is not a decimal number"},
      {{"tune", "403.5"}, "tune: the frequency '403.5' is not a decimal number"},
      {{"tune", "1000000000"}, "tune: the frequency 1000000000 is out of range (0 to 999999999)"},
      {{"tune", "-5"}, "tune: the frequency -5 is out of range"},
      {{"tune", "403000000", "--fast"}, "tune: unknown option '--fast'"},
      {{"tune", "403000000", "--tx=1"}, "tune: option '--tx' takes no value"},
      {{"tune", "403000000", "--step", "12.5"}, "tune: --step takes one of 5, 6.25 (kHz)"},
      {{"tune", "403000000", "--audio", "1"},
       "tune: --audio belongs to the SBEP frame; add --sbep"},
      {{"tune", "1", "--sbep", "--modulation", "4"}, "tune: the modulation 4 is out of range"},
      {{"tune", "1", "--sbep", "--continuous", "maybe"}, "tune: --continuous takes yes or no"},
      {{"tune", "1", "--sbep", "--frames", "10000"},
       "tune: the frames value 10000 is out of range"},
      {{"tune", "1", "--sbep", "--frames", "0G"},
       "tune: the frames value '0G' is not a hexadecimal"},
      {{"lcd"}, "lcd: no text given"},
      {{"lcd", std::string(125, 'x')},
       "lcd: the text is 125 bytes long; the radio's display "
       "takes at most 124"},
      {{"scan", "100"}, "scan: FROM and TO, two channel numbers, please"},
      {{"scan", "1o0", "200"}, "scan: the channel '1o0' is not a decimal number"},
      {{"scan", "100", "100000"}, "scan: the channel 100000 is out of range (0 to 99999)"},
      {{"scan", "1", "2", "--delay"}, "scan: option '--delay' needs a value"},
      {{"scan", "1", "2", "--delay", "-1"}, "scan: the delay -1 is out of range"},
      {{"scan", "1", "2", "--step", "7"}, "scan: --step takes one of 5, 6.25, 12.5, 20, 25, 30"},
  };
  for (const auto& [args, message] : cases) {
    const TCliRun run = bench.Run(args);
    EXPECT_EQ(run.status, 2) << message;
    EXPECT_TRUE(Contains(run.err, "kestrune-cli: " + message)) << run.err;
    const auto colon = message.find(": ");
    const std::string command = colon == std::string::npos ? "" : message.substr(0, colon);
    // "--baud: …" names an option, not a command.
    const bool ofCommand = !args.empty() && command == args[0] && command[0] != '-';
    EXPECT_TRUE(Contains(run.err, ofCommand ? "\nTry 'kestrune-cli " + command + " --help'.\n"
                                            : "\nTry 'kestrune-cli --help'.\n"))
        << run.err;
    EXPECT_EQ(run.out, "") << message;  // refused before the port opened
  }
  EXPECT_FALSE(Contains(bench.Trace(), "PC>"));  // nothing reached the radio
}

// The help, however it is asked for, comes on standard output with status 0
// and sends nothing; which options it names is checked against the parsers
// (CliHelp.EveryOptionAHelpNamesIsTakenByItsParser).
TEST(CliHelp, ComesOnStandardOutputWithStatus0WhicheverWayItIsAskedFor) {
  TCliBench bench;
  const TCliRun help = bench.Run({"--help"}, false);
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.err, "");
  EXPECT_TRUE(help.out.starts_with("Usage: kestrune-cli [line options] COMMAND")) << help.out;
  EXPECT_EQ(bench.Run({"-h"}, false).out, help.out);
  EXPECT_EQ(bench.Run({"help"}, false).out, help.out);

  const TCliRun tune = bench.Run({"tune", "--help"});
  EXPECT_EQ(tune.status, 0);
  EXPECT_EQ(tune.err, "");
  EXPECT_TRUE(tune.out.starts_with("Usage: kestrune-cli [line options] tune")) << tune.out;
  EXPECT_EQ(bench.Run({"help", "tune"}).out, tune.out);
  EXPECT_FALSE(Contains(bench.Trace(), "PC>"));  // nothing reached the radio
}

}  // namespace
}  // namespace kestrune::test
