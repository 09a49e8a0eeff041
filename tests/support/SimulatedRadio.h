// The simulated radio for tests of the program's side of the line.
//
// SimulatedRadio: the radio on a pseudo-terminal, served by a thread of its
// own; it echoes every byte and answers as the radio does. A port made by
// PortsShowingDtr() lets it see the engine's DTR line as a radio on a real
// bus does.
//
// EngineOnRadio: the program's bus engine, waiting in a plain event pump,
// on that line, with its log lines going to LogRecorder (reset when the
// bench is made).
//
//   EngineOnRadio bench;
//   bench.Engine().SendRepeatAndWait(frame);
//   bench.Radio().WithRadio([](sim::SimRadio& r) { return r.Mode(); });
#pragma once

#include <cstdint>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "protocol/PlainEventPump.h"
#include "protocol/SB9600.h"
#include "sim/PtyLine.h"
#include "sim/RadioLink.h"

namespace kestrune::test {

class SimulatedRadio {
 public:
  explicit SimulatedRadio(sim::RadioConfig config = {});
  ~SimulatedRadio();
  SimulatedRadio(const SimulatedRadio&) = delete;
  SimulatedRadio& operator=(const SimulatedRadio&) = delete;

  const std::string& DevicePath() const { return line_->SlavePath(); }
  // The bytes of every frame the radio has taken in, in order.
  std::vector<uint8_t> Received();
  // The adapter unplugged: the radio stops and its end of the line closes, so
  // the program's port sees a hang-up. What it received stays readable.
  void HangUp();
  void SetFaults(sim::Faults faults) { link_->SetFaults(std::move(faults)); }
  // f(radio) under the radio's lock: what the radio recorded.
  template <class F>
  auto WithRadio(F&& f) {
    return link_->WithRadio(std::forward<F>(f));
  }
  // Ports on modem lines in memory whose DTR changes reach this radio; the
  // radio must outlive them.
  TSb9600::PortFactory PortsShowingDtr();

 private:
  std::unique_ptr<sim::PtyLine> line_;
  std::unique_ptr<sim::RadioLink> link_;
  std::thread thread_;
};

class EngineOnRadio {
 public:
  // Whether the radio sees the engine's DTR line. A pseudo-terminal alone
  // carries no DTR, so without it the radio acknowledges an SBEP entry a
  // fixed time after the request (1500 ms unless the config says otherwise):
  // that time must fall inside the engine's acknowledge wait, which begins
  // only after the echo and the pulse and lasts 3000 ms, so 1500 ms leaves
  // more than a second either side however late a loaded machine runs
  // either thread.
  enum class Line { ShowsDtr, WithoutDtr };

  // Throws std::runtime_error when the port does not open.
  explicit EngineOnRadio(sim::RadioConfig config = {}, Line line = Line::ShowsDtr);
  ~EngineOnRadio();
  EngineOnRadio(const EngineOnRadio&) = delete;
  EngineOnRadio& operator=(const EngineOnRadio&) = delete;

  TSb9600& Engine() { return *engine_; }
  PlainEventPump& Pump() { return pump_; }
  SimulatedRadio& Radio() { return *radio_; }

 private:
  PlainEventPump pump_;
  std::unique_ptr<SimulatedRadio> radio_;
  std::unique_ptr<TSb9600> engine_;
};

}  // namespace kestrune::test
