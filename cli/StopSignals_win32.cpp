// Stop requests on Windows: Ctrl+C stands for SIGINT and Ctrl+Break for
// SIGTERM, so that the closing and the exit codes (128 + the signal) are the
// ones the program has on POSIX. The system runs the handler on a thread of
// its own, which takes the place of the watching thread.
#include <windows.h>

#include <csignal>
#include <mutex>

#include "cli/StopSignals.h"

namespace kestrune::cli {

namespace {

std::mutex& WatcherLock() {
  static std::mutex lock;
  return lock;
}

std::function<void(int)>* watcher = nullptr;  // under WatcherLock

int SignalOf(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT: return SIGINT;
    case CTRL_BREAK_EVENT: return SIGTERM;
    default: return 0;
  }
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
  const int sig = SignalOf(event);
  if (sig == 0) return FALSE;  // closing the window or logging off: the system's way
  std::lock_guard guard(WatcherLock());
  if (watcher) (*watcher)(sig);
  return TRUE;
}

}  // namespace

std::string StopEventName(int signal) { return signal == SIGINT ? "Ctrl+C" : "Ctrl+Break"; }

TStopSignals::TStopSignals(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal)) {
  {
    std::lock_guard guard(WatcherLock());
    static std::function<void(int)> forward;
    forward = [this](int sig) {
      int none = 0;
      signal_.compare_exchange_strong(none, sig);
      if (onSignal_) onSignal_(sig);
    };
    watcher = &forward;
  }
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

// The handler stays installed and turns requests away from now on: one that
// arrives during the closing must not end the program half-way through it.
TStopSignals::~TStopSignals() {
  std::lock_guard guard(WatcherLock());
  watcher = nullptr;
}

void TStopSignals::Watch() {}

}  // namespace kestrune::cli
