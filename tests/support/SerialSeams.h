// Serial systems for tests: the port's every system call goes through one,
// so a test can inject failures and watch what the port did with the line.
#pragma once

#include <poll.h>

#include <atomic>
#include <cstddef>
#include <functional>

#include "serial/SerialSystem.h"
#include "serial/SimulatedModemLines.h"

namespace kestrune::test {

// The real system with hooks for the device descriptor (the one the port
// opened). The hooks are set before the port opens; they run on whichever
// thread makes the call. Counts polls so tests can see a thread sleep.
class InjectingSystem : public SerialSystem {
 public:
  std::function<ssize_t(int fd, void* buf, size_t n)> onRead;
  std::function<ssize_t(int fd, const void* buf, size_t n)> onWrite;
  std::function<int(pollfd* fds, nfds_t count, int timeoutMs)> onPoll;
  std::function<void()> onFlush;

  std::atomic<int> polls{0};
  std::atomic<int> calls{0};  // calls of the members overridden here
  std::atomic<int> deviceFd{-1};

  int Open(const char* path, int flags) override;
  int Close(int fd) override;
  ssize_t Read(int fd, void* buf, size_t n) override;
  ssize_t Write(int fd, const void* buf, size_t n) override;
  int Poll(pollfd* fds, nfds_t count, int timeoutMs) override;
  int Flush(int fd, int queues) override;
};

// Modem lines in memory that count the bytes written and the raisings of
// DTR, and report every line change to LogRecorder::Notify() so a scripted
// far side can wait for it.
class ObservedLines : public SimulatedModemLines {
 public:
  ssize_t Write(int fd, const void* buf, size_t n) override;
  int SetModemLines(int fd, int lines) override;
  int ClearModemLines(int fd, int lines) override;

  std::atomic<size_t> written{0};
  std::atomic<int> dtrRaised{0};
};

}  // namespace kestrune::test
