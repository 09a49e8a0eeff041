#include "protocol/CRC16.h"

namespace kestrune {
namespace {

// The eight items are the register contributions of the bits 0x80 .. 0x01 of
// an index byte; every table entry is the XOR of the items of its set bits.
constexpr std::array<uint16_t, 256> MakeCrc16Table(uint16_t c) {
  std::array<uint16_t, 8> items{};
  uint16_t v = 0;
  bool carry = true;
  for (int k = 0; k < 8; ++k) {
    if (carry) v = static_cast<uint16_t>(v ^ c);
    items[k] = static_cast<uint16_t>((v << 8) | (v >> 8));
    carry = (v & 1) != 0;
    v = static_cast<uint16_t>(v >> 1);
  }
  std::array<uint16_t, 256> table{};
  for (int i = 0; i < 256; ++i) {
    uint16_t entry = 0;
    for (int k = 0; k < 8; ++k) {
      if (i & (0x80 >> k)) entry = static_cast<uint16_t>(entry ^ items[k]);
    }
    table[i] = entry;
  }
  return table;
}

}  // namespace

std::array<uint16_t, 256> Crc16Table = MakeCrc16Table(kSb9600CrcConstant);

void BuildCrc16Table(uint16_t c) { Crc16Table = MakeCrc16Table(c); }

uint16_t Crc16Step(uint8_t b, uint16_t r) {
  const uint8_t index = static_cast<uint8_t>(b ^ (r >> 8));
  const uint16_t t = static_cast<uint16_t>(Crc16Table[index] ^ ((r << 8) & 0xFFFF));
  return static_cast<uint16_t>(~t);
}

uint8_t Crc16(const uint8_t* bytes, int32_t n, uint16_t start) {
  uint16_t r = start;
  for (int32_t i = 0; i < n; ++i) r = Crc16Step(bytes[i], r);
  return static_cast<uint8_t>(r >> 8);
}

uint8_t Sb9600Crc(const uint8_t* bytes, int32_t n) {
  uint8_t h = 0;
  for (int32_t i = 0; i < n; ++i) {
    const uint8_t d = bytes[i];
    for (int j = 0; j < 8; ++j) {
      const bool bit = (((d >> j) ^ h) & 1) != 0;
      h = static_cast<uint8_t>(bit ? (h >> 1) ^ 0xCF : h >> 1);
    }
  }
  return h;
}

uint8_t ByteSum(const uint8_t* bytes, int32_t n) {
  uint8_t sum = 0;
  for (int32_t i = 0; i < n; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
  return sum;
}

uint8_t InvertedByteSum(const uint8_t* bytes, int32_t n) {
  return static_cast<uint8_t>(0xFF - ByteSum(bytes, n));
}

}  // namespace kestrune
