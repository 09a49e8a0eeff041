// An event pump without a GUI: for tests, benchmarks and command-line tools.
//
// Its events are posted functions and timer expiries; WaitForEvents() sleeps
// on a condition variable until one of them (or a Wake()) arrives. Post() and
// Wake() may be called from any thread; everything else belongs to the thread
// that waits.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "protocol/EventPump.h"

namespace kestrune {

class PlainEventPump final : public EventPump {
 public:
  PlainEventPump() = default;
  ~PlainEventPump() override;  // timers it made must be gone by now
  PlainEventPump(const PlainEventPump&) = delete;
  PlainEventPump& operator=(const PlainEventPump&) = delete;

  std::unique_ptr<PumpTimer> CreateTimer(std::chrono::milliseconds interval) override;
  void WaitForEvents() override;
  void Wake() override;

  // Queues fn to run on the waiting thread inside WaitForEvents().
  void Post(std::function<void()> fn);

 private:
  class Timer;
  using Clock = std::chrono::steady_clock;

  bool EarliestDeadline(Clock::time_point& due) const;
  void ExpireDueTimers();

  std::mutex FLock;
  std::condition_variable FEvent;
  bool FWakePending = false;                  // under FLock
  std::deque<std::function<void()>> FPosted;  // under FLock
  std::vector<Timer*> FTimers;                // owner thread only
};

}  // namespace kestrune
