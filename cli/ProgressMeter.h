// The progress line of a memory transfer on a terminal: a bar, the bytes
// done of the total, the rate and the time left.
//
//   [############............]  1.4 KiB of 2.8 KiB  48 B/s  0:29 left
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace kestrune::cli {

class TCliOutput;

// The line for `done` of `total` bytes after `seconds`. The rate and the
// time left show as "--" until a byte is done.
std::string FormatProgress(uint64_t done, uint64_t total, double seconds, int barWidth = 24);

// A byte count as people read it: "512 B", "1.4 KiB", "1.0 MiB".
std::string FormatBytes(uint64_t bytes);

// "m:ss", or "h:mm:ss" from an hour on.
std::string FormatDuration(double seconds);

// Draws the line through the output while a transfer runs (only where the
// output shows progress) and removes it at the end.
class TProgressMeter {
 public:
  TProgressMeter(TCliOutput& output, uint64_t total);
  ~TProgressMeter();
  TProgressMeter(const TProgressMeter&) = delete;
  TProgressMeter& operator=(const TProgressMeter&) = delete;

  // Redraws at most ten times a second, and always for the last byte.
  void Update(uint64_t done);

 private:
  using Clock = std::chrono::steady_clock;

  TCliOutput& output_;
  const uint64_t total_;
  const Clock::time_point start_;
  Clock::time_point lastDrawn_;
};

}  // namespace kestrune::cli
