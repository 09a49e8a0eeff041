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

  bool Stopping() const { return StopRequested && StopRequested(); }
};

}  // namespace kestrune
