// The simulated radio in the test's own process, where the program's DTR line
// is visible: the radio acknowledges an SBEP entry request on the rising edge
// of DTR and leaves SBEP mode when DTR falls.
//
// The program's end of the line is a non-blocking stream socket (ProgramFd()):
// whatever is written to it reaches the radio, and the radio's bytes can be
// read from it. A fake serial system can hand that descriptor to a port and
// forward the port's DTR changes to SetDtr(). The radio runs on a thread of
// its own until the object is destroyed.
//
//   sim::InProcessRadio radio;
//   write(radio.ProgramFd(), frame.data(), frame.size());
//   auto echo = radio.Read(5, 2s);
//   radio.WithRadio([](sim::SimRadio& r) { return r.LastChannel(); });
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <thread>
#include <vector>

#include "sim/RadioLink.h"

namespace kestrune::sim {

class InProcessRadio {
 public:
  // The acknowledge trigger of `config` is set to DtrPulse.
  explicit InProcessRadio(RadioConfig config = {}, RadioLink::LineSink traceLines = {});
  ~InProcessRadio();
  InProcessRadio(const InProcessRadio&) = delete;
  InProcessRadio& operator=(const InProcessRadio&) = delete;

  int ProgramFd() const { return programFd_; }
  void SetDtr(bool level) { link_->SetDtr(level); }
  void SetFaults(Faults faults) { link_->SetFaults(std::move(faults)); }
  template <class F>
  auto WithRadio(F&& f) {
    return link_->WithRadio(std::forward<F>(f));
  }
  RadioLink& Link() { return *link_; }

  // Conveniences for tests that talk to the radio without a port.
  // Writes all bytes to the program's end.
  void Write(std::span<const uint8_t> bytes);
  // Reads from the program's end until `count` bytes have come or `timeout`
  // has passed; returns what came.
  std::vector<uint8_t> Read(size_t count, std::chrono::milliseconds timeout);

 private:
  int programFd_ = -1;
  int radioFd_ = -1;
  std::unique_ptr<RadioLink> link_;
  std::thread thread_;
};

}  // namespace kestrune::sim
