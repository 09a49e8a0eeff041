// The surroundings of an operation test: the program's bus engine on the
// line to the simulated radio, which sees the engine's DTR line as a real
// radio on the bus does; the operation's log lines and the engine's going to
// LogRecorder, in order; and the operation context over them.
//
//   OperationTestKit kit;
//   SetChannel(kit.Context(), setting);
//   kit.Radio([](sim::SimRadio& r) { return r.LastChannel(); });
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "console/ops/Operation.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/SimulatedRadio.h"

namespace kestrune::test {

class OperationTestKit {
 public:
  explicit OperationTestKit(sim::RadioConfig config = {}) : bench_(std::move(config)) {}

  TSb9600& Engine() { return bench_.Engine(); }
  PlainEventPump& Pump() { return bench_.Pump(); }
  // The operation stops once RequestStop() is called (or when stopWhen, if
  // set, returns true at a step).
  TOperationContext Context() {
    return TOperationContext{Engine(), Pump(), LogRecorder::Line,
                             [this] { return stop_.load() || (stopWhen && stopWhen()); }};
  }
  void RequestStop() { stop_ = true; }
  std::function<bool()> stopWhen;

  std::vector<std::string> Lines() const { return LogRecorder::Lines(); }
  bool Logged(const std::string& line) const { return LogRecorder::Count(line) > 0; }

  template <class F>
  auto Radio(F&& f) {
    return bench_.Radio().WithRadio(std::forward<F>(f));
  }
  void SetFaults(sim::Faults faults) { bench_.Radio().SetFaults(std::move(faults)); }
  void HangUp() { bench_.Radio().HangUp(); }

 private:
  EngineOnRadio bench_;
  std::atomic<bool> stop_{false};
};

}  // namespace kestrune::test
