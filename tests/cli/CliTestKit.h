// Running the built kestrune-cli against the built kestrune-sim: a scratch
// folder of the test's own, the simulator on a pseudo-terminal link in it
// with its bus trace in a file, and kestrune-cli runs with their output and
// exit status. Every wait is for an event (the process ending, a file
// changing) with a generous deadline.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/Files.h"
#include "tests/support/Process.h"

namespace kestrune::test {

// The texts of kestrune-cli's log lines on its standard output.
inline std::vector<std::string> LogTexts(const std::string& output) {
  return LogTexts(output, LineEnd::Lf);
}

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

struct TCliRun {
  int status = -1;
  std::string out;
  std::string err;
};

// A scratch folder with the simulated radio in it.
class TCliBench {
 public:
  // simArgs: extra options of kestrune-sim (faults, an EEPROM image).
  explicit TCliBench(const std::vector<std::string>& simArgs = {});
  ~TCliBench();
  TCliBench(const TCliBench&) = delete;
  TCliBench& operator=(const TCliBench&) = delete;

  const fs::path& Dir() const { return dir_.Path(); }
  fs::path Link() const { return Dir() / "radio"; }
  fs::path BackupDir() const { return Dir() / "backups"; }
  fs::path TraceFile() const { return Dir() / "sim-trace.txt"; }
  std::string Trace() const { return ReadFile(TraceFile()); }
  bool WaitForTrace(const std::string& text) const {
    return WaitForText(TraceFile(), text, kProgramPatience);
  }

  // kestrune-cli with the arguments; "--device <link>" is put in front
  // unless withDevice is false. stdinText feeds its standard input. A
  // write's backup goes to BackupDir() unless the arguments say where (or
  // --no-backup), so that no run leaves files beside the built program.
  TCliRun Run(const std::vector<std::string>& args, bool withDevice = true,
              const std::string& stdinText = "");
  // Starts kestrune-cli without waiting; its output goes to Out() and Err().
  std::unique_ptr<Process> Start(const std::vector<std::string>& args);
  fs::path Out() const { return Dir() / "cli-out.txt"; }
  fs::path Err() const { return Dir() / "cli-err.txt"; }

  // Stops the simulator and starts it again with other options.
  void RestartSimulator(const std::vector<std::string>& simArgs);
  // The adapter unplugged: the simulator killed, its link gone with it.
  void UnplugRadio();

 private:
  void StartSimulator(const std::vector<std::string>& simArgs);
  void StopSimulator();
  std::vector<std::string> CliArgs(const std::vector<std::string>& args, bool withDevice) const;

  ScratchDir dir_;
  std::unique_ptr<Process> sim_;
};

}  // namespace kestrune::test
