// The built program itself, in a program folder of its own, against the
// simulated radio on a pseudo-terminal: it opens COM1, logs to its file, and
// on SIGTERM closes the port and writes its settings.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "console/core/IniFile.h"
#include "tests/support/Files.h"
#include "tests/support/Process.h"

namespace kestrune {
namespace {

using namespace test;

bool IsDigits(const std::string& s, size_t from, size_t count) {
  if (s.size() < from + count) return false;
  for (size_t i = from; i < from + count; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

std::vector<std::string> LogFileTexts(const fs::path& file) {
  return LogTexts(ReadFile(file), LineEnd::CrLf);
}

// The window's program, offscreen, in the test's working folder.
std::unique_ptr<Process> StartProgram(const fs::path& programDir, const fs::path& workDir) {
  return std::make_unique<Process>(std::vector<std::string>{(programDir / "kestrune").string()},
                                   ProcessIo{workDir, {}, {}, {}, {"QT_QPA_PLATFORM=offscreen"}});
}

// Waits until a log file beside the program says the port is open; returns it.
fs::path WaitForPortOpen(FileWatch& watch, const fs::path& programDir) {
  fs::path logFile;
  const auto portOpen = [&] {
    if (!fs::is_directory(programDir / "logs")) return false;
    watch.Add(programDir / "logs");
    for (const auto& entry : fs::directory_iterator(programDir / "logs"))
      if (ReadFile(entry.path()).find("Port COM1 is open") != std::string::npos)
        logFile = entry.path();
    return !logFile.empty();
  };
  watch.WaitFor(portOpen, kProgramPatience);
  return logFile;
}

class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    programDir_ = root_ / "program";
    workDir_ = root_ / "work";
    fs::create_directories(programDir_);
    fs::create_directories(workDir_);
    // A copy, not a link: the program finds its folder through /proc/self/exe,
    // which names the file a link points to.
    fs::copy_file(KESTRUNE_PROGRAM, programDir_ / "kestrune");
  }

  // Starts the simulator and returns once its pseudo-terminal link exists.
  std::unique_ptr<Process> StartSimulator(const fs::path& link) {
    const fs::path out = root_ / "sim-out.txt";
    auto sim = std::make_unique<Process>(
        std::vector<std::string>{KESTRUNE_SIM_PROGRAM, "--quiet", "--link", link.string()},
        ProcessIo{root_, {}, out, {}, {}});
    // Its first line names the link, once the link is there.
    EXPECT_TRUE(WaitForText(out, link.string())) << ReadFile(out);
    return sim;
  }

  ScratchDir scratch_;
  const fs::path root_ = scratch_.Path();
  fs::path programDir_, workDir_;
};

TEST_F(EndToEndTest, TheProgramOpensCom1LogsToItsFileAndWritesItsSettingsOnSigterm) {
  const fs::path link = root_ / "radio";
  auto sim = StartSimulator(link);
  std::ofstream(programDir_ / "settings.ini")
      << "[devices]\nCOM1=" << link.string() << "\n[log]\ntransmit=1\ntofile=1\n";
  // The packet script of a Windows machine, in the working directory.
  const std::string script = "sbep 1\r\n# caf\xE9\r\nsb9600\r\n";
  std::ofstream(workDir_ / "CustomPackets.txt", std::ios::binary) << script;

  FileWatch watch;
  watch.Add(programDir_);
  auto program = StartProgram(programDir_, workDir_);

  // The run's log file: logs/yyyymmdd_hhnn.log beside the program.
  const fs::path logFile = WaitForPortOpen(watch, programDir_);
  ASSERT_FALSE(logFile.empty()) << "no log file with the port opened";
  const std::string name = logFile.filename().string();  // yyyymmdd_hhnn.log
  EXPECT_TRUE(name.size() == 17 && IsDigits(name, 0, 8) && name[8] == '_' && IsDigits(name, 9, 4) &&
              name.substr(13) == ".log")
      << name;
  EXPECT_EQ(LogFileTexts(logFile), std::vector<std::string>{"Port COM1 is open"});

  program->Signal(SIGTERM);
  EXPECT_EQ(program->Wait(), 0) << "the program did not end well on SIGTERM";

  // The port was closed by the window's destroy handler...
  EXPECT_EQ(LogFileTexts(logFile), (std::vector<std::string>{"Port COM1 is open", "Port closed"}));
  // ...which also wrote the settings, keeping the device mapping.
  const TIniFile ini((programDir_ / "settings.ini").string());
  EXPECT_EQ(ini.ReadString("devices", "COM1", ""), link.string());
  EXPECT_EQ(ini.ReadString("port", "Baud", ""), "9600");
  EXPECT_TRUE(ini.ReadBool("log", "tofile", false));
  EXPECT_TRUE(ini.ReadBool("log", "transmit", false));
  EXPECT_EQ(ini.ReadString("buttons1", "ButtonP1_0", ""), "Right-click to set;");
  // Nothing lands in the working directory but what belongs there.
  EXPECT_FALSE(fs::exists(workDir_ / "settings.ini"));
  // The script went back where it came from, byte for byte.
  EXPECT_EQ(ReadFile(workDir_ / "CustomPackets.txt"), script);
  EXPECT_FALSE(fs::exists(programDir_ / "CustomPackets.txt"));

  sim->Signal(SIGTERM);
  EXPECT_NE(sim->Wait(), -1);
}

// After a quit signal nobody answers a message box: a settings file that
// cannot be written is reported on standard error and in the log file, and
// the program still ends.
TEST_F(EndToEndTest, RefusedSavesAfterSigtermAreReportedWithoutAskingAndTheProgramEnds) {
  const fs::path link = root_ / "radio";
  auto sim = StartSimulator(link);
  const auto readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
  const fs::path settings = programDir_ / "settings.ini";
  std::ofstream(settings) << "[devices]\nCOM1=" << link.string() << "\n[log]\ntofile=1\n";
  fs::permissions(settings, readOnly);
  const std::string before = ReadFile(settings);
  const fs::path script = workDir_ / "CustomPackets.txt";
  std::ofstream(script) << "sbep 1\n";
  fs::permissions(script, readOnly);

  FileWatch watch;
  watch.Add(programDir_);
  const fs::path errFile = root_ / "stderr.txt";
  Process program({(programDir_ / "kestrune").string()},
                  ProcessIo{workDir_, {}, {}, errFile, {"QT_QPA_PLATFORM=offscreen"}});
  const fs::path logFile = WaitForPortOpen(watch, programDir_);
  ASSERT_FALSE(logFile.empty()) << "the port did not open";

  program.Signal(SIGTERM);
  ASSERT_EQ(program.Wait(), 0) << "the program waited for an answer after SIGTERM";
  const std::string refused = "Unable to write to " + settings.string();
  EXPECT_NE(ReadFile(errFile).find("kestrune: " + refused), std::string::npos) << ReadFile(errFile);
  EXPECT_NE(ReadFile(logFile).find("error: " + refused), std::string::npos) << ReadFile(logFile);
  EXPECT_EQ(ReadFile(settings), before);
  // Each file is reported on its own; neither report waits for the other.
  EXPECT_NE(ReadFile(errFile).find("kestrune: Unable to write to " + script.string()),
            std::string::npos)
      << ReadFile(errFile);
  EXPECT_EQ(ReadFile(script), "sbep 1\n");

  sim->Signal(SIGTERM);
  EXPECT_NE(sim->Wait(), -1);
}

// The log folder goes while the program runs (a full disk, a removed
// mount, here a file in its place): the closing's log line cannot be
// written, which after SIGTERM is said on standard error, and the program
// still ends.
TEST_F(EndToEndTest, ALogFolderThatCannotBeWrittenAtSigtermIsReportedAndTheProgramEnds) {
  const fs::path link = root_ / "radio";
  auto sim = StartSimulator(link);
  std::ofstream(programDir_ / "settings.ini")
      << "[devices]\nCOM1=" << link.string() << "\n[log]\ntofile=1\n";

  FileWatch watch;
  watch.Add(programDir_);
  const fs::path errFile = root_ / "stderr.txt";
  Process program({(programDir_ / "kestrune").string()},
                  ProcessIo{workDir_, {}, {}, errFile, {"QT_QPA_PLATFORM=offscreen"}});
  const fs::path logFile = WaitForPortOpen(watch, programDir_);
  ASSERT_FALSE(logFile.empty()) << "the port did not open";
  fs::rename(programDir_ / "logs", root_ / "logs-gone");
  std::ofstream(programDir_ / "logs") << "not a folder\n";

  program.Signal(SIGTERM);
  ASSERT_EQ(program.Wait(), 0) << "the program did not end after SIGTERM";
  const std::string err = ReadFile(errFile);
  EXPECT_NE(err.find("kestrune: "), std::string::npos) << err;
  EXPECT_NE(err.find(logFile.filename().string()), std::string::npos)
      << "the report does not name the log file: " << err;
  EXPECT_EQ(ReadFile(programDir_ / "logs"), "not a folder\n");

  sim->Signal(SIGTERM);
  EXPECT_NE(sim->Wait(), -1);
}

// Settings brought from a Windows machine: Windows-1252 with CR LF, a caption
// "Kanäl" stored as the byte E4. A close keeps the letter and the bytes.
TEST_F(EndToEndTest, AWindows1252SettingsFileKeepsItsBytesThroughAClose) {
  const fs::path link = root_ / "radio";
  auto sim = StartSimulator(link);
  const std::string caption = "ButtonP1_0=Kan\xE4l;01 02\r\n";
  const std::string future =
      "[future]\r\nNotiz=Gr\xFC\xDF"
      "e \x81\x8D\x8F\x90\x9D\r\n";
  const fs::path settings = programDir_ / "settings.ini";
  std::ofstream(settings, std::ios::binary)
      << "[devices]\r\nCOM1=" << link.string() << "\r\n[log]\r\ntofile=1\r\n[buttons1]\r\n"
      << caption << future;

  FileWatch watch;
  watch.Add(programDir_);
  auto program = StartProgram(programDir_, workDir_);
  ASSERT_FALSE(WaitForPortOpen(watch, programDir_).empty()) << "the program did not come up";
  program->Signal(SIGTERM);
  ASSERT_NE(program->Wait(), -1) << "the program did not end on SIGTERM";

  const std::string written = ReadFile(settings);
  EXPECT_NE(written.find("[buttons1]\r\n" + caption), std::string::npos) << written;
  EXPECT_NE(written.find(future), std::string::npos) << written;
  EXPECT_EQ(written.find("\xC3"), std::string::npos) << "nothing turned into UTF-8";
  for (size_t lf = written.find('\n'); lf != std::string::npos; lf = written.find('\n', lf + 1))
    EXPECT_TRUE(lf > 0 && written[lf - 1] == '\r') << "every line ends in CR LF";
  EXPECT_EQ(TIniFile(settings.string()).ReadString("buttons1", "ButtonP1_0", ""),
            "Kan\xC3\xA4l;01 02");

  sim->Signal(SIGTERM);
  EXPECT_NE(sim->Wait(), -1);
}

// The lines of one section, from its header to the next one.
std::string SectionText(const std::string& file, const std::string& name) {
  const std::string header = "[" + name + "]\n";
  const size_t begin = file.find(header);
  if (begin == std::string::npos) return {};
  const size_t end = file.find("\n[", begin + header.size());
  return file.substr(begin, end == std::string::npos ? std::string::npos : end + 1 - begin);
}

// Runs the program until its port is open, then ends it with SIGTERM.
void RunProgramOnce(const fs::path& programDir, const fs::path& workDir) {
  fs::remove_all(programDir / "logs");
  FileWatch watch;
  watch.Add(programDir);
  auto program = StartProgram(programDir, workDir);
  ASSERT_FALSE(WaitForPortOpen(watch, programDir).empty()) << "the port did not open";
  program->Signal(SIGTERM);
  EXPECT_EQ(program->Wait(), 0) << "the program did not end well on SIGTERM";
}

TEST_F(EndToEndTest, TuneFavouritesAndStationSettingsComeBackUnchangedAndInOrder) {
  const fs::path link = root_ / "radio";
  auto sim = StartSimulator(link);
  const std::string favorites = "[favorites]\n4482=Work;403012500;\n4480=Home;403000000;\n";
  const std::string tune =
      "[tune]\nfreq=851012500\nstep=5.0 KHz\ndir=TX\n800=1\nsbep=1\nmodulation=CQPSK\n"
      "audio=External\ncontinuos=Continuous No\nlcd=1\n";
  const std::string sett = "[sett]\nminfreq=806000000\n";
  std::ofstream(programDir_ / "settings.ini")
      << "[devices]\nCOM1=" << link.string() << "\n[log]\ntofile=1\n"
      << favorites << tune << sett;

  // Two runs: the second reads what the first wrote.
  for (int run = 1; run <= 2; ++run) {
    RunProgramOnce(programDir_, workDir_);
    const std::string written = ReadFile(programDir_ / "settings.ini");
    EXPECT_EQ(SectionText(written, "favorites"), favorites) << "run " << run << "\n" << written;
    EXPECT_EQ(SectionText(written, "tune"), tune) << "run " << run;
    EXPECT_EQ(SectionText(written, "sett"), sett) << "run " << run;
  }

  sim->Signal(SIGTERM);
  EXPECT_NE(sim->Wait(), -1);
}

}  // namespace
}  // namespace kestrune
