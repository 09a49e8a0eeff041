// An event pump that hands everything to another one and keeps count of
// what the timers it made did: how often a run was started, and how often a
// run ended because its time ran out rather than by Disable(). A test can so
// tell "the wait ended because what it waited for came" from "the wait timed
// out" without reading a clock.
//
//   PlainEventPump plain;
//   WatchedPump pump(plain);
//   TSb9600 engine(pump);
//   ...
//   EXPECT_EQ(pump.Expiries(TSb9600::kRespWaitInterval), 0);
//
// Like any pump it belongs to the thread that waits in it; Wake() may come
// from any thread.
#pragma once

#include <chrono>
#include <map>
#include <memory>

#include "protocol/EventPump.h"

namespace kestrune::test {

class WatchedPump final : public EventPump {
 public:
  explicit WatchedPump(EventPump& inner) : inner_(inner) {}

  std::unique_ptr<PumpTimer> CreateTimer(std::chrono::milliseconds interval) override;
  void WaitForEvents() override { inner_.WaitForEvents(); }
  void Wake() override { inner_.Wake(); }

  // Totals over the timers of that interval made so far.
  int Starts(std::chrono::milliseconds interval) const;
  int Expiries(std::chrono::milliseconds interval) const;

  struct Counts {
    int starts = 0;
    int expiries = 0;
  };

 private:
  EventPump& inner_;
  std::map<std::chrono::milliseconds, Counts> counts_;
};

}  // namespace kestrune::test
