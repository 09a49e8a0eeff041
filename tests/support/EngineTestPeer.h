// Reaches into the bus engine for tests of its receive path without threads:
// bytes are handed to the recognition pass as one read would hand them.
#pragma once

#include <mutex>
#include <string>

#include "protocol/SB9600.h"
#include "tests/support/Frames.h"

namespace kestrune {

class TSb9600TestPeer {
 public:
  using Bytes = test::Bytes;

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

}  // namespace kestrune
