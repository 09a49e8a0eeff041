// The bus engine's event pump on Qt: the engine waits in the GUI thread's
// event loop, so windows repaint, input is handled and timers fire while an
// exchange is under way.
//
// Create it on the GUI thread after the QCoreApplication. Wake() may be
// called from any thread; it wakes the GUI thread's event dispatcher, which
// remembers a wake-up that arrives while it is busy.
#pragma once

#include "protocol/EventPump.h"

class QAbstractEventDispatcher;

namespace kestrune {

class QtEventPump final : public EventPump {
 public:
  QtEventPump();

  // A single-shot precise QTimer: the default coarse timer may end a 3000 ms
  // wait up to 5% early or late.
  std::unique_ptr<PumpTimer> CreateTimer(std::chrono::milliseconds interval) override;
  void WaitForEvents() override;
  void Wake() override;

 private:
  QAbstractEventDispatcher* FDispatcher;  // the owner thread's
};

}  // namespace kestrune
