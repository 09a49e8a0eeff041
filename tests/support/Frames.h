// Byte strings for tests, composed from the check-value routines the way the
// console composes them, so that no builder under test checks itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrune::test {

using Bytes = std::vector<uint8_t>;

// Bytes first, first + 1, ... of the given length, wrapping at 256.
Bytes Pattern(size_t length, uint8_t first = 0);
// n bytes from a seeded generator: the same seed, the same bytes.
Bytes RandomBytes(size_t n, unsigned seed);
Bytes Concat(Bytes a, const Bytes& b);

// An SB9600 frame with its check byte.
Bytes Sb9600Frame(uint8_t b0, uint8_t hi, uint8_t lo, uint8_t opcode);
// The packet with the SBEP checksum appended.
Bytes WithSbepChecksum(Bytes pkt);

// SBEP memory requests and the display text packet, checksum included.
Bytes ReadRequest(uint8_t count, uint8_t selector, uint32_t address);
Bytes WriteRequest(const Bytes& data, uint8_t selector, uint32_t address);
Bytes DisplayFrame(const Bytes& text);

// EXPANDED PROTOCOL REQUEST frames for devices 1 and 5.
inline const Bytes kEntryDevice1{0x00, 0x12, 0x01, 0x06, 0x02};
inline const Bytes kEntryDevice5{0x00, 0x12, 0x05, 0x06, 0x39};

}  // namespace kestrune::test
