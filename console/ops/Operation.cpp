#include "console/ops/Operation.h"

#include <chrono>

#include "protocol/EventPump.h"

namespace kestrune {

void TOperationContext::Pause(int ms) {
  if (ms <= 0 || Stopping()) return;
  if (Delay) {
    Delay(ms);
    return;
  }
  // The pump sleeps until the timer's expiry or a wake-up; whoever requests
  // a stop wakes it, so the pause ends at once.
  auto timer = Pump.CreateTimer(std::chrono::milliseconds(ms));
  timer->Enable();
  while (timer->Enabled() && !Stopping()) Pump.WaitForEvents();
  timer->Disable();
}

}  // namespace kestrune
