// SIGINT and SIGTERM ask the running operation to stop at its next step; it
// still runs its closing, and the program then exits with 128 + the signal.
// On Windows Ctrl+C counts as SIGINT and Ctrl+Break as SIGTERM
// (SetConsoleCtrlHandler, StopSignals_win32.cpp); the POSIX way follows.
//
// The constructor blocks both signals in the calling thread, and so in every
// thread started after it (the port's event thread), and watches them on a
// thread of its own through a signalfd. Make it before any other thread
// starts. Requested() and Signal() may be called from any thread.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace kestrune::cli {

// The name the messages give the stop request that `signal` stands for:
// "SIGINT" and "SIGTERM" on POSIX, "Ctrl+C" and "Ctrl+Break" on Windows.
std::string StopEventName(int signal);

class TStopSignals {
 public:
  // onSignal runs on the watching thread for every signal that arrives.
  explicit TStopSignals(std::function<void(int signal)> onSignal);
  ~TStopSignals();
  TStopSignals(const TStopSignals&) = delete;
  TStopSignals& operator=(const TStopSignals&) = delete;

  bool Requested() const { return signal_.load() != 0; }
  // The first signal that arrived, or 0.
  int Signal() const { return signal_.load(); }

 private:
  void Watch();

  std::function<void(int)> onSignal_;
  std::atomic<int> signal_{0};
  int signalFd_ = -1;
  int stopFd_ = -1;  // an eventfd that ends the watching thread
  std::thread thread_;
};

}  // namespace kestrune::cli
