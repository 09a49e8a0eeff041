// The frames of a memory transfer and the range rules, as pure functions.
#include <gtest/gtest.h>

#include "console/core/IntConv.h"
#include "console/ops/CheckedWrite.h"
#include "console/ops/MemoryTransfer.h"
#include "protocol/CRC16.h"
#include "protocol/SB9600.h"

namespace kestrune {
namespace {

using Bytes = std::vector<uint8_t>;

uint8_t Sum(const Bytes& bytes) {
  return ByteSum(bytes.data(), static_cast<int32_t>(bytes.size()));
}

TEST(MemoryFrames, SelectMemoryDeviceFollowsTheDeviceTable) {
  EXPECT_EQ(SelectMemoryDevice(EepromDefault), (TMemoryDevice{0x00, 0}));
  EXPECT_EQ(SelectMemoryDevice(EepromCustom), (TMemoryDevice{0x00, 0}));
  EXPECT_EQ(SelectMemoryDevice(Flash1), (TMemoryDevice{0x40, 2}));
  EXPECT_EQ(SelectMemoryDevice(Flash2), (TMemoryDevice{0x50, 3}));
  EXPECT_EQ(SelectMemoryDevice(Direct), (TMemoryDevice{0x80, 1}));
  for (const int other : {-1, 5, 99})
    EXPECT_EQ(SelectMemoryDevice(other), (TMemoryDevice{0x00, 0}));
}

TEST(MemoryFrames, MemoryAccessCarriesOpeningAndModeInByteOne) {
  const std::vector<std::pair<int, std::pair<uint8_t, uint8_t>>> expected{
      {EepromCustom, {0x01, 0x00}},
      {Flash1, {0x05, 0x04}},
      {Flash2, {0x07, 0x06}},
      {Direct, {0x03, 0x02}}};
  for (const auto& [item, bytes] : expected) {
    const uint8_t mode = SelectMemoryDevice(item).Mode;
    for (const bool opening : {true, false}) {
      const Bytes frame = BuildMemoryAccess(opening, mode);
      ASSERT_EQ(frame.size(), 5u);
      EXPECT_EQ(frame[0], 0x00);
      EXPECT_EQ(frame[1], opening ? bytes.first : bytes.second) << "item " << item;
      EXPECT_EQ(frame[2], 0x01);
      EXPECT_EQ(frame[3], 0x08);
      EXPECT_EQ(Sb9600Crc(frame.data(), 5), 0) << "check byte of item " << item;
    }
  }
  // Only two bits of the mode fit.
  EXPECT_EQ(BuildMemoryAccess(true, 0x04)[1], 0x01);
}

TEST(MemoryFrames, ReadRequestsPutSelectorAndAddressInPlace) {
  EXPECT_EQ(BuildSbepReadRequest(0x10, 0x00, 0x100),
            (Bytes{0xF5, 0x11, 0x10, 0x00, 0x01, 0x00, 0xE8}));

  const Bytes flash2 = BuildSbepReadRequest(64, SelectMemoryDevice(Flash2).Selector, 0x12345);
  EXPECT_EQ(flash2, (Bytes{0xF5, 0x11, 0x40, 0x51, 0x23, 0x45, flash2[6]}));
  EXPECT_EQ(Sum(flash2), 0xFF);

  // Bits above the 20th never reach the selector's nibble.
  const Bytes top = BuildSbepReadRequest(1, 0x80, 0xFFFFF);
  EXPECT_EQ(Bytes(top.begin() + 3, top.begin() + 6), (Bytes{0x8F, 0xFF, 0xFF}));
  EXPECT_EQ(BuildSbepReadRequest(1, 0x80, 0x1FFFFF)[3], 0x8F);

  int32_t length = 0, size = 0;
  ASSERT_TRUE(TSb9600::GetSbepPktLen(top.data(), 7, length, size));
  EXPECT_EQ(length, 7);
  EXPECT_EQ(size, 5);
}

TEST(MemoryFrames, WriteRequestsCarryTheirDataAndA16BitSize) {
  for (const uint8_t n : {uint8_t{1}, uint8_t{32}}) {
    Bytes data(n);
    for (size_t i = 0; i < n; ++i) data[i] = static_cast<uint8_t>(0xC0 + i);
    const Bytes request = BuildSbepWriteRequest(data.data(), n, 0x40, 0x10100);
    ASSERT_EQ(request.size(), n + 8u);
    EXPECT_EQ(Bytes(request.begin(), request.begin() + 7),
              (Bytes{0xFF, 0x17, 0x00, static_cast<uint8_t>(n + 4), 0x41, 0x01, 0x00}));
    EXPECT_EQ(Bytes(request.begin() + 7, request.end() - 1), data);
    EXPECT_EQ(Sum(request), 0xFF);
    int32_t length = 0, size = 0;
    ASSERT_TRUE(
        TSb9600::GetSbepPktLen(request.data(), static_cast<int32_t>(request.size()), length, size));
    EXPECT_EQ(length, static_cast<int32_t>(request.size()));
  }
}

TEST(MemoryFrames, RangesMustLieWithinThe20BitAddressesAndTheImage) {
  EXPECT_FALSE(MemoryRangeError({0xF0000, 0x10000}));  // ends exactly at the last address
  EXPECT_FALSE(MemoryRangeError({0x100, 0}));
  EXPECT_EQ(MemoryRangeError({0xF0000, 0x10001}),
            "memory range refused: base F0000 length 10001 lies outside the addresses 0 to FFFFF");
  EXPECT_EQ(MemoryRangeError({-1, 0x10}),
            "memory range refused: base FFFFFFFF length 10 lies outside the addresses 0 to FFFFF");
  EXPECT_TRUE(MemoryRangeError({0x10, -1}));
  EXPECT_TRUE(MemoryRangeError({0x7FFFFFFF, 0x7FFFFFFF}));  // no overflow into range

  EXPECT_FALSE(MemoryRangeError({0x100, 0x41}, 0x141));
  EXPECT_EQ(MemoryRangeError({0x100, 0x42}, 0x141),
            "memory range refused: base 100 length 42 lies outside the loaded image (141 bytes)");
}

TEST(MemoryFrames, FieldsAreReadAsHexadecimal) {
  const TMemoryRange range = ParseMemoryRange({"b35", "FFFFFFFF"});
  EXPECT_EQ(range.Base, 0xB35);
  EXPECT_EQ(range.Length, -1);
  try {
    ParseMemoryRange({"0", ""});
    FAIL() << "an empty field is no number";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "''$'' is not a valid integer value");
  }
  EXPECT_THROW(ParseMemoryRange({"0x10", "1"}), EConvertError);  // no prefix of its own
}

// Differences in the radio's copy at 0x100..0x11F and 0x120 (adjacent, one
// range), 0x140 and across the two pieces' shared edge at 0x1FF/0x200;
// the gap between the pieces is not compared.
TEST(MemoryCompare, AdjacentDifferencesMergeAcrossPiecesAndGapsAreNotCompared) {
  Bytes file(0x300, 0xAA);
  TMemoryReadResult radio{Bytes(0x300 - 0x100, 0xAA), 0x100};
  const auto set = [&](uint32_t address, uint8_t value) { radio.Image[address - 0x100] = value; };
  for (uint32_t a = 0x100; a <= 0x120; ++a) set(a, 0x00);
  set(0x140, 0x55);
  set(0x1FF, 0x01);
  set(0x200, 0x02);
  set(0x260, 0x03);  // in the gap
  const std::vector<AddressRange> pieces{{0x100, 0x100}, {0x200, 0x40}, {0x280, 0x80}};

  const TMemoryComparison c = CompareImages(radio, file, pieces);
  EXPECT_EQ(c.Differences, (std::vector<AddressRange>{{0x100, 0x21}, {0x140, 1}, {0x1FF, 2}}));
  EXPECT_EQ(c.Compared, 0x1C0u);
  EXPECT_EQ(c.DifferingBytes(), 0x24u);
  EXPECT_EQ(ComparisonLines(c), (std::vector<std::string>{
                                    "0100..0120  33 bytes", "0140..0140  1 byte",
                                    "01FF..0200  2 bytes", "differ: 36 of 448 bytes in 3 ranges"}));
  EXPECT_EQ(VerifyFailureLine(c),
            "verify: the radio holds 00 at 100 where the file has AA (first difference); 36 "
            "bytes differ");

  const TMemoryComparison same = CompareImages(radio, file, {{0x160, 0x20}});
  EXPECT_TRUE(same.Equal());
  EXPECT_EQ(ComparisonLines(same),
            (std::vector<std::string>{"equal: the radio holds the file's 32 bytes"}));
}

TEST(MemoryCompare, AtMostFiftyRangesAreListedAndTheSummaryCountsAll) {
  const Bytes file(0x1000, 0);
  TMemoryReadResult radio{Bytes(0x1000, 0), 0};
  for (uint32_t a = 0; a < 60; ++a) radio.Image[0x10 + a * 2] = 1;  // 60 lone bytes
  const std::vector<std::string> lines = ComparisonLines(CompareImages(radio, file, {{0, 0x1000}}));
  ASSERT_EQ(lines.size(), kListedDifferences + 2);
  EXPECT_EQ(lines.front(), "0010..0010  1 byte");
  EXPECT_EQ(lines[kListedDifferences - 1], "0072..0072  1 byte");
  EXPECT_EQ(lines[kListedDifferences], "... and 10 more ranges");
  EXPECT_EQ(lines.back(), "differ: 60 of 4096 bytes in 60 ranges");
}

// Chunks start at each piece's start, as a full write's would; a difference
// spanning a chunk edge marks both chunks.
TEST(MemoryCompare, ChangedChunksAreTheWriteChunksHoldingADifference) {
  const std::vector<AddressRange> pieces{{0x10, 0x70}, {0x105, 5}};
  EXPECT_EQ(ChangedChunks(pieces, {{0x12, 1}, {0x4F, 2}, {0x106, 1}}),
            (std::vector<AddressRange>{{0x10, 32}, {0x30, 32}, {0x50, 32}, {0x105, 5}}));
  EXPECT_EQ(ChangedChunks(pieces, {{0x75, 1}}), (std::vector<AddressRange>{{0x70, 16}}));
  EXPECT_TRUE(ChangedChunks(pieces, {}).empty());
}

}  // namespace
}  // namespace kestrune
