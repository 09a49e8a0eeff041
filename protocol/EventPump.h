// The event loop the bus engine waits in.
//
// An exchange with the radio takes up to a few seconds, and the thread that
// starts it (the GUI thread in the console) must keep serving its own events
// meanwhile: timers fire, input is handled, handlers may even run nested
// inside the wait. The engine therefore never blocks on its own; it sleeps in
// the owner's event loop through this interface and is woken when something
// it waits for happens:
//   - the port's event thread calls Wake() after it changed what the wait
//     tests (a stage flag, the CTS level);
//   - a PumpTimer's expiry is an event of the loop and ends a bounded wait.
//
// Thread contract: everything except Wake() is called on the pump's owner
// thread. Wake() may be called from any thread at any time, and a Wake() that
// arrives while the owner is not sleeping makes its next sleep return at once,
// so a change made just before the owner goes to sleep is never missed.
#pragma once

#include <chrono>
#include <memory>

namespace kestrune {

// A one-shot timer of the owner's event loop.
class PumpTimer {
 public:
  virtual ~PumpTimer() = default;

  // Starts a run of the timer's interval. Enabling a timer that is already
  // enabled leaves its running time alone.
  virtual void Enable() = 0;
  virtual void Disable() = 0;
  // True from Enable() until the expiry has been dispatched by the event loop
  // or Disable() is called: an enabled timer's time has not run out yet.
  virtual bool Enabled() const = 0;
};

class EventPump {
 public:
  virtual ~EventPump() = default;

  // A disabled one-shot timer with a fixed interval.
  virtual std::unique_ptr<PumpTimer> CreateTimer(std::chrono::milliseconds interval) = 0;

  // Dispatches the events that are pending; when there are none, sleeps until
  // an event arrives (a timer expiry included) or Wake() is called, and
  // dispatches what arrived. Returns after at least one such round, so a
  // caller re-tests its condition after every event.
  virtual void WaitForEvents() = 0;

  // Ends the current or the next sleep of WaitForEvents(). Thread-safe.
  virtual void Wake() = 0;
};

}  // namespace kestrune
