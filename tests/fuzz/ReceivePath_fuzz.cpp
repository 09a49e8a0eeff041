// The engine's receive path: any bytes, in reads of any size, in SB9600 or
// SBEP mode, after any sent packet. A pass never reads beyond the bytes the
// buffer holds, always ends, and when it ends with bytes left it is waiting
// for more: a pass over the same bytes changes nothing.
#include <fuzzer/FuzzedDataProvider.h>
#include <sanitizer/asan_interface.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzCheck.h"
#include "protocol/PlainEventPump.h"
#include "protocol/SB9600.h"
#include "tests/support/EngineTestPeer.h"

namespace kestrune::fuzz {
namespace {

using Bytes = test::Bytes;

// One pass with everything behind the buffered bytes poisoned, so that a
// read past them is caught (to ASan's granularity of 8 bytes).
void GuardedPass(TSb9600TestPeer& peer) {
  uint8_t* storage = peer.BufferStorage();
  const auto used = static_cast<size_t>(peer.Count());
  ASAN_POISON_MEMORY_REGION(storage + used, peer.BufferCapacity() - used);
  peer.Parse();
  ASAN_UNPOISON_MEMORY_REGION(storage, peer.BufferCapacity());
}

void Exchange(FuzzedDataProvider& input) {
  PlainEventPump pump;
  TSb9600 engine(pump);
  TSb9600TestPeer peer(engine);
  engine.SbepMode = input.ConsumeBool();
  while (input.remaining_bytes() > 0) {
    // Now and then a new attempt: a packet sent, the buffer and stages reset.
    if (input.ConsumeIntegralInRange(0, 7) == 0) {
      const Bytes sent = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange(0, 40));
      peer.Sent(sent);
    }
    const auto size = input.ConsumeIntegralInRange<size_t>(1, TSb9600::kReadChunkSize);
    const Bytes chunk = input.ConsumeBytes<uint8_t>(size);
    if (chunk.empty()) break;
    peer.Append(chunk);
    GuardedPass(peer);

    const int32_t left = peer.Count();
    Require(left >= 0 && left < TSb9600::kReadBufSize, "the count stays within the buffer");
    const Bytes waiting = peer.Buffer();
    GuardedPass(peer);
    Require(peer.Buffer() == waiting, "bytes left by a pass wait for more");
  }
}

}  // namespace
}  // namespace kestrune::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  kestrune::fuzz::Exchange(input);
  return 0;
}
