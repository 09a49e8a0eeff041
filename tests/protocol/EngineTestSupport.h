// Test support for the bus engine: a recorder for the engine's log and dump
// callbacks, a port system that reports what the port did with the line, a
// scripted radio on the far side of a pseudo-terminal, and a peer that lets
// tests drive the receive path without threads.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "protocol/SB9600.h"
#include "serial/SimulatedModemLines.h"

namespace kestrune {

using Bytes = std::vector<uint8_t>;

// Collects what the engine logs. The engine's callbacks are plain function
// pointers, so this is one global recorder; tests Reset() it first.
class TestLog {
 public:
  struct Dump {
    std::string dir;
    Bytes bytes;
    std::string sig;
  };

  static void Line(const std::string& s);
  static void DumpProc(const uint8_t* p, int32_t len, const std::string& dir,
                       const std::string& sig);

  static void Reset();
  static std::vector<std::string> Lines();
  static std::vector<Dump> Dumps(const std::string& dir);
  static int DumpCount(const std::string& dir);

  // Wakes WaitFor(); anything a scripted radio may wait for calls it.
  static void Notify();
  // Waits until pred() holds (tested under the recorder's lock) or the
  // timeout passes; returns pred().
  static bool WaitFor(const std::function<bool()>& pred,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10));
};

// The port's system with modem lines in memory, counting what was written
// and reporting every DTR change to TestLog::Notify().
class ObservedLines : public SimulatedModemLines {
 public:
  ssize_t Write(int fd, const void* buf, size_t n) override;
  int SetModemLines(int fd, int lines) override;
  int ClearModemLines(int fd, int lines) override;

  std::atomic<size_t> written{0};
  std::atomic<int> dtrRaised{0};
};

// A radio on the master side of a pseudo-terminal, answering by script.
class FarSide {
 public:
  struct Chunk {
    Bytes bytes;
    // Sent once this holds (waited for through TestLog::WaitFor).
    std::function<bool()> when;
  };

  FarSide();
  ~FarSide();
  FarSide(const FarSide&) = delete;
  FarSide& operator=(const FarSide&) = delete;

  const std::string& SlavePath() const { return FSlavePath; }

  // When `request` arrives, the chunks are sent in order; `times` arrivals
  // are answered this way, then the next rule for the same request applies.
  void On(Bytes request, std::vector<Chunk> replies, int times = 1);
  // Echoes `request` every time it arrives.
  void Echo(Bytes request);
  // Everything received so far.
  Bytes Received() const;
  int Count(const Bytes& request) const;
  void Send(const Bytes& bytes);

 private:
  struct Rule {
    Bytes request;
    std::vector<Chunk> replies;
    int times;
  };
  void Run();
  void Serve();

  int FMaster = -1;
  int FSlaveHold = -1;  // keeps the line up while the port is closed
  int FStop = -1;
  std::string FSlavePath;
  mutable std::mutex FLock;
  std::vector<Rule> FRules;
  Bytes FReceived;
  Bytes FPending;
  std::thread FThread;
};

// Reaches into the engine for tests of the receive path without threads.
class TSb9600TestPeer {
 public:
  explicit TSb9600TestPeer(TSb9600& engine) : e(engine) {}

  // A transmit step's bookkeeping for `sent` (nothing is written).
  void Sent(const Bytes& sent) { e.StartAttempt(sent.data(), static_cast<int32_t>(sent.size())); }
  // One read notification's append and recognition pass; returns the
  // description the pass left for the dump.
  std::string Receive(const Bytes& bytes) {
    Append(bytes);
    return Parse();
  }
  // The two halves of Receive.
  void Append(const Bytes& bytes) {
    e.AppendReadBuf(bytes.data(), static_cast<int32_t>(bytes.size()));
  }
  std::string Parse() {
    std::string descr;
    e.ParseReadBuf(descr);
    return descr;
  }
  // The receive buffer's whole storage, beyond the bytes it holds.
  uint8_t* BufferStorage() { return e.FReadBuf.data(); }
  size_t BufferCapacity() const { return e.FReadBuf.size(); }
  Bytes Buffer() {
    std::lock_guard lock(e.BufLock);
    return Bytes(e.FReadBuf.begin(), e.FReadBuf.begin() + e.FReadBufCount);
  }
  int32_t Count() {
    std::lock_guard lock(e.BufLock);
    return e.FReadBufCount;
  }
  Bytes SentPkt() {
    std::lock_guard lock(e.FPktLock);
    return e.FSentPkt;
  }
  bool WaitResponse() { return e.WaitResponse(); }

 private:
  TSb9600& e;
};

// The check byte an SB9600 frame needs, and the SBEP checksum, appended.
Bytes Sb9600Frame(uint8_t b0, uint8_t hi, uint8_t lo, uint8_t opcode);
Bytes WithSbepChecksum(Bytes pkt);

}  // namespace kestrune
