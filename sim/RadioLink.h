// Runs a SimRadio on a file descriptor: the radio's end of a pseudo-terminal,
// of a serial device or of an in-process socket.
//
// Run() sleeps in ppoll() until bytes arrive, the radio's next deadline or
// the time of its next output comes, or Stop() wakes it; it never spins.
// Bytes the radio emits are written at their time; when the far side does
// not read and the line is full, they are dropped (a bus does not wait) and
// the trace says so.
//
// Thread contract: Run() runs on one thread. Stop(), SetDtr(), WithRadio()
// and Now() may be called from any thread while it runs; Stop() is also
// async-signal-safe. The radio is only touched under the link's lock.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include "sim/SimRadio.h"

namespace kestrune::sim {

class RadioLink {
 public:
  // Receives each finished trace line, time-stamped.
  using LineSink = std::function<void(const std::string& line)>;
  enum class End { Stopped, LineClosed, LineError };

  // `fd` (not owned) must stay open while the link lives; it is switched to
  // non-blocking mode.
  RadioLink(RadioConfig config, int fd, LineSink traceLines = {});
  ~RadioLink();
  RadioLink(const RadioLink&) = delete;
  RadioLink& operator=(const RadioLink&) = delete;

  // Serves the line until Stop(), end of file (LineClosed) or a read error
  // (LineError, text in LastError()).
  End Run();
  void Stop();
  std::string LastError() const;

  // The program's DTR line changed. Bytes the program wrote before the
  // change reach the radio first.
  void SetDtr(bool level);
  // Replaces the radio's faults (a spontaneous period starts now).
  void SetFaults(Faults faults);

  // Runs f on the radio under the link's lock, for inspection or changes;
  // the loop then re-reads the radio's deadlines.
  template <class F>
  auto WithRadio(F&& f) -> std::invoke_result_t<F, SimRadio&> {
    struct WakeAfter {
      RadioLink* link;
      ~WakeAfter() { link->Wake(); }
    } wake{this};
    std::lock_guard lock(mutex_);
    return std::forward<F>(f)(radio_);
  }

  // The radio's clock: time since the link was made.
  Micros Now() const;

 private:
  void Wake();
  // The caller holds mutex_.
  bool ReadAvailable(End& end);
  void Schedule(std::vector<Emission> emissions);
  void WriteDue();
  ssize_t WriteSome(const uint8_t* bytes, size_t size);
  int64_t PollTimeoutNs() const;  // -1: no deadline
  void TraceLine(const TraceEvent& event);

  const int fd_;
  const int wakeFd_;
  bool isSocket_ = false;
  std::atomic<bool> stop_{false};
  const std::chrono::steady_clock::time_point start_;
  LineSink lines_;

  mutable std::mutex mutex_;
  SimRadio radio_;
  std::multimap<Micros, std::vector<uint8_t>> pending_;  // equal times keep their order
  std::string lastError_;
};

}  // namespace kestrune::sim
