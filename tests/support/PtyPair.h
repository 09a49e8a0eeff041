// A pseudo-terminal: the code under test opens SlavePath() as its serial
// device, the test plays the far end of the line on the master side.
#pragma once

#include <chrono>
#include <string>

#include "tests/support/Frames.h"
#include "tests/support/Wait.h"

namespace kestrune::test {

// Reads from fd until `count` bytes have come or `patience` has passed; never
// more than `count`.
Bytes ReadBytes(int fd, size_t count, std::chrono::milliseconds patience = kPatience);

class PtyPair {
 public:
  PtyPair();  // throws std::runtime_error when no pseudo-terminal is available
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& SlavePath() const { return slavePath_; }
  int MasterFd() const { return master_; }

  // Writes every byte; throws std::runtime_error when the line refuses them.
  void Write(const Bytes& bytes);
  // Reads until `count` bytes have come or `patience` has passed.
  Bytes Read(size_t count, std::chrono::milliseconds patience = kPatience);
  // The far end goes away: the slave side hangs up.
  void CloseMaster();

 private:
  int master_ = -1;
  std::string slavePath_;
};

}  // namespace kestrune::test
