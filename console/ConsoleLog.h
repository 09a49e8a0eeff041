// LogLine and LogDump: the one way anything is reported. Both are plain
// functions, so the bus engine can hold them as its callbacks (TLogProcedure,
// TDumpProcedure), and both may be called from the GUI thread and from the
// port's event thread.
//
// A line is "hh:nn:ss  text". With "Log to file" on it is appended to the
// run's log file at once (one open, write and close per line, under LogLock);
// unless the program is closing it also goes to the log view, through
// TLogViewFeed, so the event thread never waits for the GUI thread.
//
// A log file that cannot be written is reported once (a line in the view and
// the general error report, shown by the GUI thread) until a line reaches the
// file again; logging goes on, so a port whose event thread logs keeps
// working, and no error is thrown into the engine or the port.
#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace kestrune {

class TLogViewFeed;

// The console-wide state of the log, one instance for the process. The main
// window sets it up in FormCreate and tears it down in FormDestroy.
struct TConsoleLog {
  // Fixed at start-up, before any other thread exists; read-only afterwards.
  std::string LogFileName;
  // Makes file appends one at a time.
  std::mutex LogLock;
  // Once true, lines no longer reach the view (set before the engine is freed).
  std::atomic<bool> AppClosing{false};
  // The state of "Log to file", mirrored for the event thread.
  std::atomic<bool> LogToFile{false};
  // Where view lines go; none before the window exists and after it is gone.
  std::atomic<TLogViewFeed*> View{nullptr};
  // A file failure has been reported and no line has reached the file since.
  std::atomic<bool> FileFailureReported{false};
};

TConsoleLog& ConsoleLog();

void LogLine(const std::string& s);
void LogDump(const uint8_t* p, int32_t len, const std::string& dir, const std::string& sig);

}  // namespace kestrune
