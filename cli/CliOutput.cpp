#include "cli/CliOutput.h"

#include <cerrno>
#include <cstring>

#include "cli/CliPlatform.h"
#include "console/core/LogFile.h"
#include "console/core/LogText.h"

namespace kestrune::cli {

namespace {

// Clears the terminal line the cursor is on.
constexpr const char* kEraseLine = "\r\033[K";

}  // namespace

TCliOutput::TCliOutput(std::FILE* out, std::FILE* err, bool errIsTerminal)
    : out_(out), err_(err), errIsTerminal_(errIsTerminal) {}

void TCliOutput::SetLogFile(const std::string& path) {
  // Opening it once here refuses a log file that cannot be written before
  // anything is sent to the radio.
  CheckLogFileOpens(path);
  std::lock_guard lock(lock_);
  logFile_ = path;
}

void TCliOutput::LogLine(const std::string& text) {
  const std::string line = FormatLogLine(LogTimeOfDay(), text);
  std::lock_guard lock(lock_);
  HideProgressLocked();
  std::fputs(line.c_str(), out_);
  std::fputc('\n', out_);
  std::fflush(out_);
  if (!logFile_.empty()) {
    try {
      AppendLogFileLine(logFile_, line);
      logFileFailed_ = false;
    } catch (const EFileError& e) {
      // Reported once until a line reaches the file again; the operation
      // goes on, its lines are still on standard output.
      if (!logFileFailed_) std::fprintf(err_, "kestrune-cli: %s\n", e.what());
      logFileFailed_ = true;
    }
  }
  ShowProgressLocked();
}

void TCliOutput::LogDump(const uint8_t* p, int32_t len, const std::string& dir,
                         const std::string& sig) {
  for (const std::string& line : FormatDumpLines(p, len, dir, sig)) LogLine(line);
}

void TCliOutput::Error(const std::string& message) {
  std::lock_guard lock(lock_);
  HideProgressLocked();
  std::fprintf(err_, "kestrune-cli: %s\n", message.c_str());
  std::fflush(err_);
  ShowProgressLocked();
}

void TCliOutput::Progress(const std::string& text) {
  if (!errIsTerminal_) return;
  std::lock_guard lock(lock_);
  progress_ = text;
  std::fputs(kEraseLine, err_);
  ShowProgressLocked();
}

void TCliOutput::EndProgress() {
  std::lock_guard lock(lock_);
  HideProgressLocked();
  progress_.clear();
}

void TCliOutput::HideProgressLocked() {
  if (progress_.empty()) return;
  std::fputs(kEraseLine, err_);
  std::fflush(err_);
}

void TCliOutput::ShowProgressLocked() {
  if (progress_.empty()) return;
  std::fputs(progress_.c_str(), err_);
  std::fflush(err_);
}

TCliOutput& CliOutput() {
  static TCliOutput output(stdout, stderr, StandardErrorIsTerminal());
  return output;
}

void CliLogLine(const std::string& text) { CliOutput().LogLine(text); }

void CliLogDump(const uint8_t* p, int32_t len, const std::string& dir, const std::string& sig) {
  CliOutput().LogDump(p, len, dir, sig);
}

}  // namespace kestrune::cli
