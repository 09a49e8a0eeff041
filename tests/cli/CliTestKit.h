// Running the built kestrune-cli against the built kestrune-sim: a folder of
// the test's own, the simulator on a pseudo-terminal link in it with its bus
// trace in a file, and kestrune-cli runs with their output and exit status.
// Every wait is for an event (the process ending, a file changing) with a
// generous deadline.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace kestrune::cli::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// How long a program may take to do what a test waits for, on a loaded
// machine under the sanitizers: longer than the shared kit's patience,
// because one run may hold the engine's three 3 s attempts.
inline constexpr auto kProgramPatience = 60s;

// A started program: standard input from a file (or /dev/null), standard
// output and error to files. Killed and reaped if the test leaves it.
class TProcess {
 public:
  TProcess(const std::vector<std::string>& args, const fs::path& workDir, const fs::path& outFile,
           const fs::path& errFile, const fs::path& inFile = {});
  ~TProcess();
  TProcess(const TProcess&) = delete;
  TProcess& operator=(const TProcess&) = delete;

  void Signal(int sig) const;
  // The exit status, 128 + the signal that ended it, or -1 after kProgramPatience.
  int Wait();

 private:
  pid_t pid_ = -1;
  int pidfd_ = -1;
};

std::string ReadFile(const fs::path& path);

// Waits until the file holds `text`; false after kProgramPatience.
bool WaitForText(const fs::path& file, const std::string& text);

// The texts of "hh:nn:ss  text" lines; a line in another form fails the test.
std::vector<std::string> LogTexts(const std::string& output);

struct TCliRun {
  int status = -1;
  std::string out;
  std::string err;
};

// A temporary folder with the simulated radio in it.
class TCliBench {
 public:
  // simArgs: extra options of kestrune-sim (faults, an EEPROM image).
  explicit TCliBench(const std::vector<std::string>& simArgs = {});
  ~TCliBench();
  TCliBench(const TCliBench&) = delete;
  TCliBench& operator=(const TCliBench&) = delete;

  const fs::path& Dir() const { return dir_; }
  fs::path Link() const { return dir_ / "radio"; }
  fs::path TraceFile() const { return dir_ / "sim-trace.txt"; }
  std::string Trace() const { return ReadFile(TraceFile()); }
  bool WaitForTrace(const std::string& text) const { return WaitForText(TraceFile(), text); }

  // kestrune-cli with the arguments; "--device <link>" is put in front
  // unless withDevice is false. stdinText feeds its standard input.
  TCliRun Run(const std::vector<std::string>& args, bool withDevice = true,
              const std::string& stdinText = "");
  // Starts kestrune-cli without waiting; its output goes to Out() and Err().
  std::unique_ptr<TProcess> Start(const std::vector<std::string>& args);
  fs::path Out() const { return dir_ / "cli-out.txt"; }
  fs::path Err() const { return dir_ / "cli-err.txt"; }

  // Stops the simulator and starts it again with other options.
  void RestartSimulator(const std::vector<std::string>& simArgs);

 private:
  void StartSimulator(const std::vector<std::string>& simArgs);
  std::vector<std::string> CliArgs(const std::vector<std::string>& args, bool withDevice) const;

  fs::path dir_;
  std::unique_ptr<TProcess> sim_;
};

}  // namespace kestrune::cli::test
