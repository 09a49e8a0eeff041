#include "console/core/MemoryImage.h"

#include <gtest/gtest.h>

#include <numeric>
#include <stdexcept>

namespace kestrune {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Counting(size_t n, uint8_t first = 0) {
  Bytes bytes(n);
  std::iota(bytes.begin(), bytes.end(), first);
  return bytes;
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The image positions from base on, as a write would send them.
Bytes Written(const LoadedImage& loaded) {
  return Bytes(loaded.image.begin() + loaded.base,
               loaded.image.begin() + loaded.base + loaded.length);
}

TEST(SaveSRecords, StatedExamples) {
  EXPECT_EQ(SaveSRecords({0x01, 0x02, 0x03}, 0x0100), "S1060100010203F2\r\nS9030000FC");
  EXPECT_EQ(SaveSRecords({}, 0), "S9030000FC");
  EXPECT_EQ(SaveSRecords(Bytes(32, 0xAA), 0),
            "S1230000" + std::string(64, 'A') + "9C\r\nS9030000FC");
}

TEST(SaveSRecords, SplitsIntoRecordsOfThirtyTwoBytes) {
  Bytes image(65, 0);
  image[64] = 0x55;
  const std::string text = SaveSRecords(image, 0);
  const std::string zeros32 = std::string(64, '0');
  EXPECT_EQ(text, "S1230000" + zeros32 + "DC\r\n" + "S1230020" + zeros32 + "BC\r\n" +
                      "S10400405566\r\n" + "S9030000FC");
}

TEST(SaveSRecords, ImagesPassing0xFFFFUseS2Records) {
  EXPECT_EQ(SaveSRecords({0x01, 0x02, 0x03}, 0x10000), "S207010000010203F1\r\nS804000000FB");
  // One byte past 0xFFFF is enough to switch the whole file.
  EXPECT_EQ(SaveSRecords(Counting(0x11), 0xFFF0),
            "S21500FFF0000102030405060708090A0B0C0D0E0F1073\r\nS804000000FB");
  // Ending exactly at 0xFFFF still fits S1.
  EXPECT_TRUE(SaveSRecords(Counting(0x10), 0xFFF0).starts_with("S113FFF0"));
  // An empty image has no addresses at all.
  EXPECT_EQ(SaveSRecords({}, 0x80000), "S9030000FC");
}

TEST(SaveSRecords, RefusesImagesBeyondTwentyFourBitAddresses) {
  EXPECT_THROW(SaveSRecords(Counting(2), 0xFFFFFF), std::length_error);
  EXPECT_NO_THROW(SaveSRecords(Counting(1), 0xFFFFFF));
}

TEST(LoadSRecords, RoundTripsS1AndS2Images) {
  for (const uint32_t base : {0x0u, 0x1234u, 0xFFF0u, 0x80000u, 0xFFF00u}) {
    const Bytes image = Counting(200, static_cast<uint8_t>(base));
    const LoadedImage loaded = LoadSRecords(SaveSRecords(image, base));
    EXPECT_FALSE(loaded.error);
    EXPECT_EQ(loaded.base, base);
    EXPECT_EQ(loaded.length, image.size());
    EXPECT_EQ(loaded.image.size(), base + image.size()) << "bytes sit at their addresses";
    EXPECT_EQ(Written(loaded), image) << std::hex << base;
    EXPECT_EQ(loaded.ranges, (std::vector<AddressRange>{{base, 200}}));
  }
}

TEST(LoadSRecords, FieldsShowUpperCaseHexWithoutLeadingZeros) {
  const LoadedImage loaded = LoadSRecords(SaveSRecords(Counting(0xB35), 0x0A00));
  EXPECT_EQ(loaded.BaseText(), "A00");
  EXPECT_EQ(loaded.LengthText(), "B35");
  EXPECT_EQ(LoadSRecords("").BaseText(), "0");
  EXPECT_EQ(LoadSRecords("").LengthText(), "0");
  EXPECT_EQ(HexText(0xFFFFFFFF), "FFFFFFFF");
}

TEST(LoadSRecords, AcceptsLfAndCrLfAndAMissingLastLineEnd) {
  const std::string text = "S1060100010203F2\nS1050103AABB91\r\nS9030000FC";
  const LoadedImage loaded = LoadSRecords(text);
  EXPECT_FALSE(loaded.error);
  EXPECT_EQ(loaded.base, 0x100u);
  EXPECT_EQ(Written(loaded), (Bytes{0x01, 0x02, 0x03, 0xAA, 0xBB}));
  EXPECT_EQ(Written(LoadSRecords("S1060100010203F2")), (Bytes{0x01, 0x02, 0x03}));
}

TEST(LoadSRecords, ReadsS1S2AndS3InEitherCaseAndSkipsRecordsWithoutData) {
  const std::string text =
      "S00600004844521B\r\n"      // header
      "S1060100010203F2\r\n"      // 16-bit address
      "s207010200040506e6\r\n"    // 24-bit address, lower case throughout
      "S30800010300070809DB\r\n"  // 32-bit address
      "  S1050200aabb93  \r\n"    // blanks around the line
      "\r\n"                      // an empty line
      "S5030004F8\r\n"            // count
      "S9030000FC";               // terminator
  const LoadedImage loaded = LoadSRecords(text);
  ASSERT_FALSE(loaded.error) << *loaded.error;
  EXPECT_EQ(loaded.ranges,
            (std::vector<AddressRange>{{0x100, 3}, {0x200, 2}, {0x10200, 3}, {0x10300, 3}}));
  EXPECT_EQ(loaded.base, 0x100u);
  EXPECT_EQ(loaded.length, 0x10303u - 0x100u) << "lowest to highest address";
  EXPECT_EQ(Bytes(loaded.image.begin() + 0x10200, loaded.image.end()),
            (Bytes{0x04, 0x05, 0x06} + Bytes(0xFD) + Bytes{0x07, 0x08, 0x09}));
}

TEST(LoadSRecords, ADamagedRecordEndsTheLoadNamingItsLineAndWhy) {
  const std::string good = "S1060100010203F2\r\n";
  const std::vector<std::pair<std::string, std::string>> cases{
      {"S1060100010203F3", "line 2: bad checksum: the record has F3, its bytes give F2"},
      {"S1090100010203F2",
       "line 2: the record is cut off: its count announces 9 bytes, the line "
       "holds 6"},
      {"S10601000102",
       "line 2: the record is cut off: its count announces 6 bytes, the line "
       "holds 4"},
      {"S1060100010203F2X", "line 2: 'X' is not a hex digit"},
      {"S1G10000FF", "line 2: 'G' is not a hex digit"},
      {"S106010001020", "line 2: the record is cut off (an odd digit count)"},
      {"S1050100010203F2", "line 2: the line holds 6 bytes after the count, which announces 5"},
      {"S2", "line 2: the record is cut off before its count"},
      {"S20510000001E9", "line 2: address 100000 lies past the radio's addresses (0 to FFFFF)"},
      {"S2150FFFF0" + std::string(34, '0') + "EC",
       "line 2: address FFFF0 lies past the radio's addresses (0 to FFFFF)"},
      {":10010000214601360121470136007EFE09D21901", "line 2: not an S-record"},
  };
  for (const auto& [line, message] : cases) {
    const LoadedImage loaded = LoadSRecords(good + line + "\r\nS1050103AABB91\r\nS9030000FC");
    EXPECT_EQ(loaded.error, message) << line;
  }
  // The fields show what was read before the damaged line.
  const LoadedImage loaded = LoadSRecords(good + "S1060100010203F3\r\n");
  EXPECT_EQ(loaded.base, 0x100u);
  EXPECT_EQ(loaded.length, 3u);
}

TEST(LoadSRecords, BaseIsWhereTheDataStarts) {
  // A header record with address 0000 must not pull the base down: the
  // write would otherwise overwrite the gap below the data with zeros.
  const LoadedImage headed = LoadSRecords("S00600004844521B\r\nS1060100010203F2\r\nS9030000FC");
  EXPECT_EQ(headed.base, 0x100u);
  EXPECT_EQ(headed.length, 3u);
  EXPECT_EQ(headed.image.size(), 0x103u);

  // Records out of order: the lower one is written too.
  const LoadedImage unordered = LoadSRecords("S1050103AABB91\r\nS1060100010203F2\r\n");
  EXPECT_EQ(unordered.base, 0x100u);
  EXPECT_EQ(Written(unordered), (Bytes{0x01, 0x02, 0x03, 0xAA, 0xBB}));
  EXPECT_EQ(unordered.ranges, (std::vector<AddressRange>{{0x100, 5}})) << "touching records join";

  // No data at all: nothing to write.
  const LoadedImage dataless = LoadSRecords("S0030100FB\r\nS9030000FC");
  EXPECT_FALSE(dataless.error);
  EXPECT_EQ(dataless.length, 0u);
  EXPECT_TRUE(dataless.ranges.empty());
}

TEST(LoadSRecords, LaterRecordsOverwriteEarlierOnes) {
  const LoadedImage loaded = LoadSRecords("S1060100010203F2\r\nS1040101EE0B\r\n");
  EXPECT_EQ(Written(loaded), (Bytes{0x01, 0xEE, 0x03}));
}

TEST(RawImage, SavesBareBytesAndLoadsFromAddressZero) {
  const Bytes image = Counting(300, 7);
  EXPECT_EQ(SaveRawImage(image), image);
  EXPECT_TRUE(SaveRawImage({}).empty());

  // Saved from a read at base 0x100, it comes back at base 0.
  const LoadedImage loaded = LoadRawImage(SaveRawImage(image));
  EXPECT_EQ(loaded.base, 0u);
  EXPECT_EQ(loaded.length, 300u);
  EXPECT_EQ(loaded.BaseText(), "0");
  EXPECT_EQ(loaded.LengthText(), "12C");
  EXPECT_EQ(loaded.image, image);
  EXPECT_EQ(loaded.ranges, (std::vector<AddressRange>{{0, 300}}));
  EXPECT_FALSE(loaded.error);
}

}  // namespace
}  // namespace kestrune
