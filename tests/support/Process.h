// Programs started by a test: the built kestrune, kestrune-cli and
// kestrune-sim, and a child that acts as an ordinary user.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace kestrune::test {

using namespace std::chrono_literals;

// How long a program may take to do what a test waits for, on a loaded
// machine under the sanitizers: longer than kPatience, because one run of
// the program may hold the engine's three 3 s attempts.
inline constexpr std::chrono::milliseconds kProgramPatience = 60s;

// Where a program reads and writes: its working folder, standard input from
// a file (or /dev/null), standard output and error to files (or the test's
// own), and variables added to the test's environment.
struct ProcessIo {
  std::filesystem::path workDir;
  std::filesystem::path in;
  std::filesystem::path out;
  std::filesystem::path err;
  std::vector<std::string> env;
};

// A started program; killed and reaped if the test leaves it running.
class Process {
 public:
  // args[0] is the program's path. Throws std::runtime_error when it cannot start.
  Process(const std::vector<std::string>& args, const ProcessIo& io);
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  void Signal(int sig) const;
  // The exit status, 128 + the signal that ended it, or -1 when the program
  // was still running after `patience`.
  int Wait(std::chrono::milliseconds patience = kProgramPatience);
  // The ended program's peak resident size in KiB (0 before Wait saw it end).
  long PeakResidentKiB() const { return peakResidentKiB_; }

 private:
  long peakResidentKiB_ = 0;
  pid_t pid_ = -1;
  int pidfd_ = -1;
};

// Runs body in a child process as user and group "nobody" (65534) when we
// are root, as ourselves otherwise (root reads any file, so "cannot read"
// needs someone else); returns body's result, or -1 when the child could not
// become that user or did not end normally.
int RunAsOrdinaryUser(const std::function<int()>& body);

}  // namespace kestrune::test
