// The event thread of an open TComPort: sleeps until the device reports
// something, then raises the port's hooks on this thread. Created by Open,
// stopped and freed by Close; see UnitComPort.h for the contract.
#pragma once

#include <thread>

namespace kestrune {

class TComPort;

class TComEventThread {
 public:
  // Starts the thread at once. Throws std::system_error when no thread can be
  // started (the port turns that into a failed Open).
  explicit TComEventThread(TComPort& ComPort);
  ~TComEventThread();  // waits for the thread's end; the port has woken it
  TComEventThread(const TComEventThread&) = delete;
  TComEventThread& operator=(const TComEventThread&) = delete;

 private:
  void Execute();

  TComPort& FComPort;
  std::thread FThread;
};

}  // namespace kestrune
