#include "protocol/CRC16.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace kestrune {
namespace {

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

uint8_t Reflect8(uint8_t v) {
  uint8_t r = 0;
  for (int i = 0; i < 8; ++i)
    if (v & (1 << i)) r = static_cast<uint8_t>(r | (0x80 >> i));
  return r;
}

// Textbook CRC-8 in normal (MSB-first) form with polynomial 0xF3, fed with
// reflected input and giving reflected output: the same check value reached
// by a different road than the production routines.
uint8_t ReferenceCrc8(const std::vector<uint8_t>& data) {
  uint8_t crc = 0;
  for (uint8_t byte : data) {
    crc ^= Reflect8(byte);
    for (int i = 0; i < 8; ++i)
      crc = static_cast<uint8_t>((crc & 0x80) ? (crc << 1) ^ 0xF3 : crc << 1);
  }
  return Reflect8(crc);
}

TEST(Crc16Table, HoldsTheCrc8OfEveryByteInItsHighByte) {
  BuildCrc16Table(kSb9600CrcConstant);
  const uint8_t first[32] = {0x00, 0x99, 0xAD, 0x34, 0xC5, 0x5C, 0x68, 0xF1, 0x15, 0x8C, 0xB8,
                             0x21, 0xD0, 0x49, 0x7D, 0xE4, 0x2A, 0xB3, 0x87, 0x1E, 0xEF, 0x76,
                             0x42, 0xDB, 0x3F, 0xA6, 0x92, 0x0B, 0xFA, 0x63, 0x57, 0xCE};
  for (int i = 0; i < 32; ++i) EXPECT_EQ(Crc16Table[i], first[i] << 8) << "entry " << i;
  EXPECT_EQ(Crc16Table[0x80], 0xCF00);
  EXPECT_EQ(Crc16Table[0xFF], 0xFD00);
  for (int i = 0; i < 256; ++i) {
    const uint8_t b = static_cast<uint8_t>(i);
    EXPECT_EQ(Crc16Table[i] & 0xFF, 0) << "entry " << i;
    EXPECT_EQ(Crc16Table[i] >> 8, Sb9600Crc(&b, 1)) << "entry " << i;
  }
}

TEST(Crc16Table, IsValidBeforeItIsBuiltAndRebuildingIsIdempotent) {
  const auto before = Crc16Table;
  BuildCrc16Table(kSb9600CrcConstant);
  EXPECT_EQ(before, Crc16Table);
  BuildCrc16Table(0x1234);
  EXPECT_NE(before, Crc16Table);
  BuildCrc16Table(kSb9600CrcConstant);
  EXPECT_EQ(before, Crc16Table);
}

TEST(Sb9600Crc, StatedCheckValues) {
  EXPECT_EQ(Sb9600Crc(Bytes("123456789"), 9), 0x2F);
  EXPECT_EQ(Sb9600Crc(Bytes("abc"), 3), 0x48);
  EXPECT_EQ(Crc16(Bytes("abc"), 3, 0x00FF), 0x48);
  EXPECT_EQ(Crc16(Bytes("abc"), 3, 0x0000), 0x18);
}

TEST(Sb9600Crc, ExpandedProtocolRequestFramesValidate) {
  const uint8_t dev1[5] = {0x00, 0x12, 0x01, 0x06, 0x02};
  const uint8_t dev5[5] = {0x00, 0x12, 0x05, 0x06, 0x39};
  EXPECT_EQ(Crc16(dev1, 4, 0x00FF), 0x02);
  EXPECT_EQ(Crc16(dev5, 4, 0x00FF), 0x39);
  EXPECT_EQ(Sb9600Crc(dev1, 5), 0);
  EXPECT_EQ(Sb9600Crc(dev5, 5), 0);
}

TEST(Sb9600Crc, AgreesWithAnIndependentCrc8OnRandomData) {
  std::mt19937 rng(20261209);
  std::uniform_int_distribution<int> byte(0, 255), length(0, 300);
  for (int round = 0; round < 2000; ++round) {
    std::vector<uint8_t> data(static_cast<size_t>(length(rng)));
    for (auto& b : data) b = static_cast<uint8_t>(byte(rng));
    const int32_t n = static_cast<int32_t>(data.size());
    const uint8_t expected = ReferenceCrc8(data);
    ASSERT_EQ(Sb9600Crc(data.data(), n), expected) << "round " << round;
    ASSERT_EQ(Crc16(data.data(), n, 0x00FF), expected) << "round " << round;
    // No final XOR: data followed by its CRC checks to 0.
    data.push_back(expected);
    ASSERT_EQ(Sb9600Crc(data.data(), n + 1), 0) << "round " << round;
  }
}

TEST(ByteSum, StatedValues) {
  EXPECT_EQ(ByteSum(Bytes("abc"), 3), 0x26);
  EXPECT_EQ(InvertedByteSum(Bytes("abc"), 3), 0xD9);
  const uint8_t packet[7] = {0xF5, 0x11, 0x02, 0x00, 0x00, 0x00, 0xF7};
  EXPECT_EQ(InvertedByteSum(packet, 6), 0xF7);
  EXPECT_EQ(ByteSum(packet, 7), 0xFF);
}

TEST(CheckValues, ReadNothingForCountsOfZeroOrBelow) {
  const uint8_t data[3] = {1, 2, 3};
  for (int32_t n : {0, -1, -100}) {
    EXPECT_EQ(Crc16(data, n, 0x12FF), 0x12);
    EXPECT_EQ(Sb9600Crc(data, n), 0);
    EXPECT_EQ(ByteSum(data, n), 0);
    EXPECT_EQ(InvertedByteSum(data, n), 0xFF);
  }
  EXPECT_EQ(Crc16(nullptr, 0, 0x00FF), 0x00);
}

}  // namespace
}  // namespace kestrune
