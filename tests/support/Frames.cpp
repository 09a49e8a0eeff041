#include "tests/support/Frames.h"

#include <random>

#include "protocol/CRC16.h"

namespace kestrune::test {

Bytes Pattern(size_t length, uint8_t first) {
  Bytes bytes(length);
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(first + i);
  return bytes;
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes Sb9600Frame(uint8_t b0, uint8_t hi, uint8_t lo, uint8_t opcode) {
  Bytes frame{b0, hi, lo, opcode};
  frame.push_back(Crc16(frame.data(), 4, 0x00FF));
  return frame;
}

Bytes WithSbepChecksum(Bytes pkt) {
  pkt.push_back(InvertedByteSum(pkt.data(), static_cast<int32_t>(pkt.size())));
  return pkt;
}

Bytes ReadRequest(uint8_t count, uint8_t selector, uint32_t address) {
  return WithSbepChecksum({0xF5, 0x11, count,
                           static_cast<uint8_t>(selector | ((address >> 16) & 0x0F)),
                           static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)});
}

Bytes WriteRequest(const Bytes& data, uint8_t selector, uint32_t address) {
  const size_t size = data.size() + 4;
  Bytes bytes{0xFF,
              0x17,
              static_cast<uint8_t>(size >> 8),
              static_cast<uint8_t>(size),
              static_cast<uint8_t>(selector | ((address >> 16) & 0x0F)),
              static_cast<uint8_t>(address >> 8),
              static_cast<uint8_t>(address)};
  return WithSbepChecksum(Concat(bytes, data));
}

Bytes DisplayFrame(const Bytes& text) {
  const size_t n = text.size();
  const size_t size = 2 * n + 6;
  Bytes bytes{0x1F,
              static_cast<uint8_t>(size >> 8),
              static_cast<uint8_t>(size),
              0x80,
              0x08,
              static_cast<uint8_t>(n),
              0x00,
              0x00};
  bytes = Concat(bytes, text);
  bytes.insert(bytes.end(), n, 0x00);
  return WithSbepChecksum(bytes);
}

Bytes RandomBytes(size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  Bytes bytes(n);
  for (auto& b : bytes) b = static_cast<uint8_t>(byte(random));
  return bytes;
}

}  // namespace kestrune::test
