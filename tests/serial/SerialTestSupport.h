// Shared pieces of the serial suites: a pseudo-terminal whose master side
// plays the far end of the line, a log collector for the port's plain-function
// log callback, and a serial system into which a test injects failures.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "serial/SerialSystem.h"

namespace kestrune::test {

using namespace std::chrono_literals;

// Generous: these bounds only catch hangs, never measure speed.
constexpr auto kPatience = 5s;

// A pseudo-terminal; the port opens the slave path, the test drives the master.
class PtyPair {
 public:
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& SlavePath() const { return FSlavePath; }
  void Write(const std::vector<uint8_t>& bytes);
  // Reads until `count` bytes have come or kPatience has passed.
  std::vector<uint8_t> Read(size_t count);
  void CloseMaster();  // the far end goes away: the slave hangs up

 private:
  int FMaster = -1;
  std::string FSlavePath;
};

// Collects the lines of TLogProcedure callbacks (plain functions, so the
// collector is global). Reset it at the start of each test.
class LogCollector {
 public:
  static void Log(const std::string& line);
  static void Reset();
  static std::vector<std::string> Lines();
  // Waits until some line begins with `prefix`; false after kPatience.
  static bool WaitForLineStartingWith(const std::string& prefix);
  static size_t CountStartingWith(const std::string& prefix);
};

// Waits for `done` under `lock`, signalled through `changed`; false after kPatience.
bool WaitUntil(std::mutex& lock, std::condition_variable& changed,
               const std::function<bool()>& done);

// Bytes 0, 1, 2, ... of a given length, wrapping at 256.
std::vector<uint8_t> Pattern(size_t length, uint8_t first = 0);

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

}  // namespace kestrune::test
