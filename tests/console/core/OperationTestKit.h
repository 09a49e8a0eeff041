// The surroundings of an operation test: the program's bus engine, waiting
// in a plain event pump, talking over a pseudo-terminal to the simulated
// radio, which sees the engine's DTR line as a real radio on the bus does;
// a log that records every line; and the operation context over them.
//
//   OperationTestKit kit;
//   SetChannel(kit.Context(), setting);
//   kit.Radio([](sim::SimRadio& r) { return r.LastChannel(); });
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "console/core/Operation.h"
#include "protocol/PlainEventPump.h"
#include "protocol/SB9600.h"
#include "sim/PtyLine.h"
#include "sim/RadioLink.h"

namespace kestrune::test {

class OperationTestKit {
 public:
  explicit OperationTestKit(sim::RadioConfig config = {});
  ~OperationTestKit();
  OperationTestKit(const OperationTestKit&) = delete;
  OperationTestKit& operator=(const OperationTestKit&) = delete;

  TSb9600& Engine() { return *engine_; }
  PlainEventPump& Pump() { return pump_; }
  // Log lines go to Lines(); the operation stops once RequestStop() is called
  // (or when stopWhen, if set, returns true at a step).
  TOperationContext Context();
  void RequestStop() { stop_ = true; }
  std::function<bool()> stopWhen;

  // The operation's own lines and the engine's, in order.
  std::vector<std::string> Lines() const;
  bool Logged(const std::string& line) const;

  template <class F>
  auto Radio(F&& f) {
    return link_->WithRadio(std::forward<F>(f));
  }
  void SetFaults(sim::Faults faults) { link_->SetFaults(std::move(faults)); }

 private:
  void Log(const std::string& line);

  PlainEventPump pump_;
  std::unique_ptr<sim::PtyLine> pty_;
  std::unique_ptr<sim::RadioLink> link_;
  sim::RadioLink* dtrTarget_ = nullptr;
  std::thread thread_;
  std::unique_ptr<TSb9600> engine_;
  std::atomic<bool> stop_{false};
  mutable std::mutex linesLock_;
  std::vector<std::string> lines_;
};

}  // namespace kestrune::test
