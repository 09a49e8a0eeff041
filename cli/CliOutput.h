// Where kestrune-cli reports: log lines on standard output, time-stamped as
// in the window's log ("hh:nn:ss  text"), optionally also appended to a log
// file (CR LF, as the window's log file); errors on standard error; and a
// progress line on standard error only when that is a terminal.
//
// The engine takes plain functions as its log and dump callbacks, and calls
// them from the port's event thread too: CliLogLine and CliLogDump reach the
// process's one TCliOutput, and every member may be called from any thread.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

namespace kestrune::cli {

class TCliOutput {
 public:
  TCliOutput(std::FILE* out, std::FILE* err, bool errIsTerminal);

  // Every later log line is also appended to path (created when missing).
  // Throws EFileError (console/core/TextFile.h) when it cannot be opened for
  // appending.
  void SetLogFile(const std::string& path);

  void LogLine(const std::string& text);
  void LogDump(const uint8_t* p, int32_t len, const std::string& dir, const std::string& sig);
  // "kestrune-cli: " + message on standard error.
  void Error(const std::string& message);

  bool ShowsProgress() const { return errIsTerminal_; }
  // Replaces the progress line; nothing when standard error is no terminal.
  void Progress(const std::string& text);
  // Removes the progress line, leaving the terminal as it was.
  void EndProgress();

 private:
  // The caller holds lock_.
  void HideProgressLocked();
  void ShowProgressLocked();

  std::FILE* out_;
  std::FILE* err_;
  const bool errIsTerminal_;
  std::mutex lock_;
  std::string logFile_;
  bool logFileFailed_ = false;
  std::string progress_;  // shown at the bottom of the terminal while set
};

// The process's output, made on first use over stdout and stderr.
TCliOutput& CliOutput();

// The engine's callbacks (TLogProcedure, TDumpProcedure).
void CliLogLine(const std::string& text);
void CliLogDump(const uint8_t* p, int32_t len, const std::string& dir, const std::string& sig);

}  // namespace kestrune::cli
