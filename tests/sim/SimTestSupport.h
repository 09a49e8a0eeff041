// Small builders shared by the simulated radio's tests. They compose frames
// the way the console does, from the check-value routines, so that the radio's
// own builders are not used to test themselves.
#pragma once

#include <cstdint>
#include <vector>

#include "protocol/CRC16.h"
#include "sim/SimRadio.h"

namespace kestrune::sim::test {

inline std::vector<uint8_t> Sb9600(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t opcode) {
  std::vector<uint8_t> frame{b0, b1, b2, opcode};
  frame.push_back(Crc16(frame.data(), 4, 0x00FF));
  return frame;
}

// Appends the SBEP checksum.
inline std::vector<uint8_t> Sbep(std::vector<uint8_t> bytes) {
  bytes.push_back(InvertedByteSum(bytes.data(), static_cast<int32_t>(bytes.size())));
  return bytes;
}

inline std::vector<uint8_t> ReadRequest(uint8_t count, uint8_t selector, uint32_t address) {
  return Sbep({0xF5, 0x11, count, static_cast<uint8_t>(selector | ((address >> 16) & 0x0F)),
               static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)});
}

inline std::vector<uint8_t> WriteRequest(const std::vector<uint8_t>& data, uint8_t selector,
                                         uint32_t address) {
  const size_t size = data.size() + 4;
  std::vector<uint8_t> bytes{0xFF,
                             0x17,
                             static_cast<uint8_t>(size >> 8),
                             static_cast<uint8_t>(size),
                             static_cast<uint8_t>(selector | ((address >> 16) & 0x0F)),
                             static_cast<uint8_t>(address >> 8),
                             static_cast<uint8_t>(address)};
  bytes.insert(bytes.end(), data.begin(), data.end());
  return Sbep(bytes);
}

inline std::vector<uint8_t> DisplayFrame(const std::vector<uint8_t>& text) {
  const size_t n = text.size();
  const size_t size = 2 * n + 6;
  std::vector<uint8_t> bytes{0x1F,
                             static_cast<uint8_t>(size >> 8),
                             static_cast<uint8_t>(size),
                             0x80,
                             0x08,
                             static_cast<uint8_t>(n),
                             0x00,
                             0x00};
  bytes.insert(bytes.end(), text.begin(), text.end());
  bytes.insert(bytes.end(), n, 0x00);
  return Sbep(bytes);
}

// The length rule as the program applies it to a reply: whole length and size field.
struct ReplyLength {
  int total;
  int size;
};
inline ReplyLength LengthOf(const std::vector<uint8_t>& p) {
  const int hi = p[0] >> 4, lo = p[0] & 0x0F;
  const int opcodeLength = hi == 0xF ? 2 : 1;
  if (lo != 0xF) return {opcodeLength + lo, lo};
  const int size = (p[opcodeLength] << 8) | p[opcodeLength + 1];
  return {opcodeLength + 2 + size, size};
}

inline std::vector<uint8_t> AllBytes(const std::vector<Emission>& emissions) {
  std::vector<uint8_t> bytes;
  for (const Emission& e : emissions) bytes.insert(bytes.end(), e.bytes.begin(), e.bytes.end());
  return bytes;
}

inline std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

inline const std::vector<uint8_t> kEntryDevice1{0x00, 0x12, 0x01, 0x06, 0x02};
inline const std::vector<uint8_t> kEntryDevice5{0x00, 0x12, 0x05, 0x06, 0x39};

}  // namespace kestrune::sim::test
