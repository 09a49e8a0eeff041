// A radio on the far side of a pseudo-terminal that answers by script, on a
// thread of its own. It keeps the slave side open itself, so the line stays
// up while the port under test is closed.
//
//   FarSide radio;
//   radio.Echo(frame);                                  // every time
//   radio.On(request, {{echo, {}}, {{0x50}, [&] { return engine.SbepMode.load(); }}});
//   engine.CreatePort(radio.SlavePath(), ...);
//
// The conditions of the rules run on the far side's thread: what they look
// at must outlive it, or the test calls Stop() first (in TearDown).
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/Frames.h"
#include "tests/support/PtyPair.h"

namespace kestrune::test {

class FarSide {
 public:
  struct Chunk {
    Bytes bytes;
    // Sent once this holds, waited for through LogRecorder::WaitFor: what it
    // looks at must call LogRecorder::Notify() when it changes.
    std::function<bool()> when;
  };

  FarSide();
  ~FarSide();  // stops

  FarSide(const FarSide&) = delete;
  FarSide& operator=(const FarSide&) = delete;

  const std::string& SlavePath() const { return pty_.SlavePath(); }

  // When `request` arrives, the chunks are sent in order; `times` arrivals
  // are answered this way, then the next rule for the same request applies.
  void On(Bytes request, std::vector<Chunk> replies, int times = 1);
  // Echoes `request` every time it arrives.
  void Echo(Bytes request);
  // Everything received so far, and how often `request` stands in it.
  Bytes Received() const;
  int Count(const Bytes& request) const;
  // Sends at once; bytes the line no longer takes are lost, as on a bus.
  void Send(const Bytes& bytes);
  // Ends the thread; the line stays up until the far side is destroyed.
  void Stop();

 private:
  struct Rule {
    Bytes request;
    std::vector<Chunk> replies;
    int times;
  };
  void Run();
  void Serve();

  PtyPair pty_;
  int slaveHold_ = -1;
  int stop_ = -1;  // eventfd
  mutable std::mutex lock_;
  std::vector<Rule> rules_;
  Bytes received_;
  Bytes pending_;
  std::thread thread_;
};

}  // namespace kestrune::test
