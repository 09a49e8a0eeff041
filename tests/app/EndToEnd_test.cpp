// The built program itself, in a program folder of its own, against the
// simulated radio on a pseudo-terminal: it opens COM1, logs to its file, and
// on SIGTERM closes the port and writes its settings.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "console/core/IniFile.h"

extern char** environ;

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool IsDigits(const std::string& s, size_t from, size_t count) {
  if (s.size() < from + count) return false;
  for (size_t i = from; i < from + count; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

// The texts of the log file's lines, after checking that every line is
// "hh:nn:ss  text" and ends with CR LF.
std::vector<std::string> LogTexts(const std::string& file) {
  std::vector<std::string> texts;
  size_t pos = 0;
  while (pos < file.size()) {
    const size_t end = file.find("\r\n", pos);
    if (end == std::string::npos) {
      ADD_FAILURE() << "line without CR LF: " << file.substr(pos);
      break;
    }
    const std::string line = file.substr(pos, end - pos);
    EXPECT_TRUE(IsDigits(line, 0, 2) && line[2] == ':' && IsDigits(line, 3, 2) && line[5] == ':' &&
                IsDigits(line, 6, 2) && line.compare(8, 2, "  ") == 0)
        << line;
    texts.push_back(line.size() > 10 ? line.substr(10) : std::string());
    pos = end + 2;
  }
  return texts;
}

// A started program; killed and reaped if the test leaves it behind.
class Process {
 public:
  Process(const std::vector<std::string>& args, const fs::path& workDir,
          const std::vector<std::string>& extraEnv, int stdoutFd = -1, int stderrFd = -1) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp;
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
    if (stdoutFd >= 0) posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    if (stderrFd >= 0) posix_spawn_file_actions_adddup2(&actions, stderrFd, STDERR_FILENO);
    const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + args[0]);
    pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
  }
  ~Process() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (pidfd_ >= 0) close(pidfd_);
  }

  void Signal(int sig) const { kill(pid_, sig); }

  // The wait status once the process has ended, or -1 after the timeout.
  int WaitForExit(std::chrono::milliseconds timeout) {
    pollfd pfd{pidfd_, POLLIN, 0};
    if (poll(&pfd, 1, static_cast<int>(timeout.count())) != 1) return -1;
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }

 private:
  pid_t pid_ = -1;
  int pidfd_ = -1;
};

// Waits for files in a folder tree to change, and re-tests a condition on
// every change.
class FileWatch {
 public:
  FileWatch() : fd_(inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {}
  ~FileWatch() { close(fd_); }
  void Add(const fs::path& dir) {
    inotify_add_watch(fd_, dir.c_str(), IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO);
  }
  bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left <= 0ms) return false;
      pollfd pfd{fd_, POLLIN, 0};
      if (poll(&pfd, 1, static_cast<int>(left.count())) == 1) {
        char events[4096];
        while (read(fd_, events, sizeof events) > 0) {
        }
      }
    }
    return true;
  }

 private:
  int fd_;
};

class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kestrune-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    programDir_ = root_ / "program";
    workDir_ = root_ / "work";
    fs::create_directories(programDir_);
    fs::create_directories(workDir_);
    // A copy, not a link: the program finds its folder through /proc/self/exe,
    // which names the file a link points to.
    fs::copy_file(KESTRUNE_PROGRAM, programDir_ / "kestrune");
  }
  void TearDown() override { fs::remove_all(root_); }

  // Starts the simulator and returns once its pseudo-terminal link exists.
  std::unique_ptr<Process> StartSimulator(const fs::path& link) {
    int out[2];
    EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
    auto sim = std::make_unique<Process>(
        std::vector<std::string>{KESTRUNE_SIM_PROGRAM, "--quiet", "--link", link.string()}, root_,
        std::vector<std::string>{}, out[1]);
    close(out[1]);
    // Its first line names the link, once the link is there.
    std::string firstLine;
    char c = 0;
    pollfd pfd{out[0], POLLIN, 0};
    while (poll(&pfd, 1, 10000) == 1 && read(out[0], &c, 1) == 1 && c != '\n') firstLine += c;
    close(out[0]);
    EXPECT_NE(firstLine.find(link.string()), std::string::npos) << firstLine;
    return sim;
  }

  fs::path root_, programDir_, workDir_;
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
  Process program({(programDir_ / "kestrune").string()}, workDir_, {"QT_QPA_PLATFORM=offscreen"});

  // The run's log file: logs/yyyymmdd_hhnn.log beside the program.
  fs::path logFile;
  const auto findLog = [&] {
    if (!fs::is_directory(programDir_ / "logs")) return false;
    watch.Add(programDir_ / "logs");
    for (const auto& entry : fs::directory_iterator(programDir_ / "logs")) logFile = entry.path();
    return !logFile.empty() && ReadFile(logFile).find("Port COM1 is open") != std::string::npos;
  };
  ASSERT_TRUE(watch.WaitFor(findLog, 20s)) << "no log file with the port opened";
  const std::string name = logFile.filename().string();  // yyyymmdd_hhnn.log
  EXPECT_TRUE(name.size() == 17 && IsDigits(name, 0, 8) && name[8] == '_' && IsDigits(name, 9, 4) &&
              name.substr(13) == ".log")
      << name;
  EXPECT_EQ(LogTexts(ReadFile(logFile)), std::vector<std::string>{"Port COM1 is open"});

  program.Signal(SIGTERM);
  const int status = program.WaitForExit(20s);
  ASSERT_NE(status, -1) << "the program did not end on SIGTERM";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  // The port was closed by the window's destroy handler...
  EXPECT_EQ(LogTexts(ReadFile(logFile)),
            (std::vector<std::string>{"Port COM1 is open", "Port closed"}));
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
  EXPECT_NE(sim->WaitForExit(10s), -1);
}

// After a quit signal nobody answers a message box: a settings file that
// cannot be written is reported on standard error and in the log file, and
// the program still ends.
TEST_F(EndToEndTest, ARefusedSettingsFileAfterSigtermIsReportedWithoutAskingAndTheProgramEnds) {
  const fs::path link = root_ / "radio";
  auto sim = StartSimulator(link);
  const fs::path settings = programDir_ / "settings.ini";
  std::ofstream(settings) << "[devices]\nCOM1=" << link.string() << "\n[log]\ntofile=1\n";
  fs::permissions(settings, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const std::string before = ReadFile(settings);

  FileWatch watch;
  watch.Add(programDir_);
  const fs::path errFile = root_ / "stderr.txt";
  const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(err, 0);
  Process program({(programDir_ / "kestrune").string()}, workDir_, {"QT_QPA_PLATFORM=offscreen"},
                  -1, err);
  close(err);
  fs::path logFile;
  const auto portOpen = [&] {
    if (!fs::is_directory(programDir_ / "logs")) return false;
    watch.Add(programDir_ / "logs");
    for (const auto& entry : fs::directory_iterator(programDir_ / "logs")) logFile = entry.path();
    return !logFile.empty() && ReadFile(logFile).find("Port COM1 is open") != std::string::npos;
  };
  ASSERT_TRUE(watch.WaitFor(portOpen, 20s)) << "the port did not open";

  program.Signal(SIGTERM);
  const int status = program.WaitForExit(60s);
  ASSERT_NE(status, -1) << "the program waited for an answer after SIGTERM";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  const std::string refused = "Unable to write to " + settings.string();
  EXPECT_NE(ReadFile(errFile).find("kestrune: " + refused), std::string::npos) << ReadFile(errFile);
  EXPECT_NE(ReadFile(logFile).find("error: " + refused), std::string::npos) << ReadFile(logFile);
  EXPECT_EQ(ReadFile(settings), before);

  sim->Signal(SIGTERM);
  EXPECT_NE(sim->WaitForExit(10s), -1);
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
  Process program({(programDir_ / "kestrune").string()}, workDir_, {"QT_QPA_PLATFORM=offscreen"});
  const auto portOpen = [&] {
    if (!fs::is_directory(programDir_ / "logs")) return false;
    watch.Add(programDir_ / "logs");
    for (const auto& entry : fs::directory_iterator(programDir_ / "logs"))
      if (ReadFile(entry.path()).find("Port COM1 is open") != std::string::npos) return true;
    return false;
  };
  ASSERT_TRUE(watch.WaitFor(portOpen, 20s)) << "the program did not come up";
  program.Signal(SIGTERM);
  ASSERT_NE(program.WaitForExit(20s), -1) << "the program did not end on SIGTERM";

  const std::string written = ReadFile(settings);
  EXPECT_NE(written.find("[buttons1]\r\n" + caption), std::string::npos) << written;
  EXPECT_NE(written.find(future), std::string::npos) << written;
  EXPECT_EQ(written.find("\xC3"), std::string::npos) << "nothing turned into UTF-8";
  for (size_t lf = written.find('\n'); lf != std::string::npos; lf = written.find('\n', lf + 1))
    EXPECT_TRUE(lf > 0 && written[lf - 1] == '\r') << "every line ends in CR LF";
  EXPECT_EQ(TIniFile(settings.string()).ReadString("buttons1", "ButtonP1_0", ""),
            "Kan\xC3\xA4l;01 02");

  sim->Signal(SIGTERM);
  EXPECT_NE(sim->WaitForExit(10s), -1);
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
  Process program({(programDir / "kestrune").string()}, workDir, {"QT_QPA_PLATFORM=offscreen"});
  const auto portOpen = [&] {
    if (!fs::is_directory(programDir / "logs")) return false;
    watch.Add(programDir / "logs");
    for (const auto& entry : fs::directory_iterator(programDir / "logs"))
      if (ReadFile(entry.path()).find("Port COM1 is open") != std::string::npos) return true;
    return false;
  };
  ASSERT_TRUE(watch.WaitFor(portOpen, 20s)) << "the port did not open";
  program.Signal(SIGTERM);
  const int status = program.WaitForExit(20s);
  ASSERT_NE(status, -1) << "the program did not end on SIGTERM";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
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
  EXPECT_NE(sim->WaitForExit(10s), -1);
}

}  // namespace
}  // namespace kestrune
