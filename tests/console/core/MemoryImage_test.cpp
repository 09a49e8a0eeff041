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
  for (const uint32_t base : {0x0u, 0x1234u, 0xFFF0u, 0x80000u, 0xFFFF00u}) {
    const Bytes image = Counting(200, static_cast<uint8_t>(base));
    const LoadedImage loaded = LoadSRecords(SaveSRecords(image, base));
    EXPECT_FALSE(loaded.error);
    EXPECT_EQ(loaded.base, base);
    EXPECT_EQ(loaded.length, image.size());
    EXPECT_EQ(loaded.image.size(), base + image.size()) << "bytes sit at their addresses";
    EXPECT_EQ(Written(loaded), image) << std::hex << base;
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

TEST(LoadSRecords, SkipsWhatIsNotASoundDataRecord) {
  const std::string text =
      "s1060100010203F2\r\n"  // lower-case type
      "S1060100010203F3\r\n"  // wrong checksum
      "S1090100010203F2\r\n"  // count larger than the line
      "S5030001FB\r\n"        // count record
      "S3\r\n"                // too short to read
      "S2020000\r\n"          // too short for a 24-bit address
      "S2020000F\r\n"
      "S1060200aabbccc6\r\n"  // lower-case digits are fine
      "S9030000FC";
  const LoadedImage loaded = LoadSRecords(text);
  EXPECT_FALSE(loaded.error) << *loaded.error;
  EXPECT_EQ(loaded.base, 0x200u);
  EXPECT_EQ(Written(loaded), (Bytes{0xAA, 0xBB, 0xCC}));
}

TEST(LoadSRecords, IgnoresALoneCharacterAtTheLineEnd) {
  const LoadedImage loaded = LoadSRecords("S1060100010203F2X\r\n");
  EXPECT_FALSE(loaded.error);
  EXPECT_EQ(Written(loaded), (Bytes{0x01, 0x02, 0x03}));
}

TEST(LoadSRecords, ConversionErrorKeepsWhatWasLoaded) {
  const LoadedImage loaded = LoadSRecords("S1060100010203F2\r\nS1G10000FF\r\nS1050103AABB91\r\n");
  EXPECT_EQ(loaded.error, "''$G1'' is not a valid integer value");
  EXPECT_EQ(loaded.base, 0x100u);
  EXPECT_EQ(loaded.length, 3u);
  EXPECT_EQ(Written(loaded), (Bytes{0x01, 0x02, 0x03}));

  // A NUL byte in the pair: the message still names both characters.
  const LoadedImage nul =
      LoadSRecords(std::string("S1G\0"
                               "0000FF\r\n",
                               12));
  EXPECT_EQ(nul.error, "''$G\xE2\x90\x80'' is not a valid integer value");

  const LoadedImage atOnce = LoadSRecords("S1-1000000\r\n");
  EXPECT_EQ(atOnce.error, "''$-1'' is not a valid integer value");
  EXPECT_EQ(atOnce.base, 0u);
  EXPECT_EQ(atOnce.length, 0u);
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

  // No data at all: the first line's address, nothing to write.
  const LoadedImage dataless = LoadSRecords("S0030100FB\r\nS9030000FC");
  EXPECT_EQ(dataless.base, 0x100u);
  EXPECT_EQ(dataless.length, 0u);
  EXPECT_TRUE(dataless.image.empty());
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
  EXPECT_FALSE(loaded.error);
}

}  // namespace
}  // namespace kestrune
