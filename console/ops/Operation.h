// The surroundings of an operator operation: what one button press (or one
// command of kestrune-cli) does to the radio in more than one exchange — the
// packet script, a memory transfer, tuning and display text, the channel scan.
//
// An operation drives the engine, writes its own log lines through Log,
// pauses in Pump (events are served, nothing spins) and looks at
// StopRequested at each of its steps: when it turns true (the window is
// closing, the terminal sent SIGINT) the operation ends through its normal
// closing (SBEP left, memory access closed) instead of going on. It never
// cuts an exchange in the middle of its frame.
#pragma once

#include <functional>
#include <string>

namespace kestrune {

class EventPump;
class TSb9600;

struct TOperationContext {
  TSb9600& Engine;
  EventPump& Pump;
  std::function<void(const std::string&)> Log;
  std::function<bool()> StopRequested;
  // How a script's `delay` waits. When empty, it waits in Pump until the
  // time is up or a stop is requested (the pump is woken by whoever asks).
  // The window hands in a wait that serves no events, as the operator asked
  // for a pause of the whole window, yet ends on a quit signal.
  std::function<void(int ms)> Delay = {};

  bool Stopping() const { return StopRequested && StopRequested(); }
  // Waits ms milliseconds, or less when a stop is requested first.
  void Pause(int ms);
};

}  // namespace kestrune
