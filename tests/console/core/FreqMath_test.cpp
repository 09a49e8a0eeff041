#include "console/core/FreqMath.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

namespace kestrune {
namespace {

TEST(StepTable, GivesHertzAndCodeForEveryIndex) {
  const int hz[] = {5000, 6250, 12500, 20000, 25000, 30000};
  const int code[] = {0, 1, 3, 4, 5, 6};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(GetStepHz(i), hz[i]) << i;
    EXPECT_EQ(GetStepCode(i), code[i]) << i;
  }
  for (int outside : {-1, 6, 100, INT32_MIN}) {
    EXPECT_EQ(GetStepHz(outside), 5000) << outside;
    EXPECT_EQ(GetStepCode(outside), 0) << outside;
  }
  EXPECT_EQ(kStepItemTexts[1], "6.25 KHz");
}

TEST(FreqToChannel, CountsStepsFromTheBandBase) {
  EXPECT_EQ(FreqToChannel(403'000'000, 6250), 4480);
  EXPECT_EQ(FreqToChannel(403'000'000, 5000), 5600);
  EXPECT_EQ(FreqToChannel(851'012'500, 6250), 8001);
  EXPECT_EQ(FreqToChannel(851'012'500, 12500), 4000);
  EXPECT_EQ(FreqToChannel(801'003'000, 5000), 0);
  EXPECT_EQ(FreqToChannel(801'002'999, 5000), 85200);
  EXPECT_EQ(FreqToChannel(374'999'999, 6250), 43519);
  EXPECT_EQ(FreqToChannel(375'000'000, 6250), 0);
  EXPECT_EQ(FreqToChannel(103'000'000, 5000), 0);
}

TEST(FreqToChannel, IsZeroBelowTheLowestBand) {
  for (int32_t freq : {102'999'999, 0, -5, INT32_MIN}) EXPECT_EQ(FreqToChannel(freq, 5000), 0);
  EXPECT_EQ(FreqToChannel(INT32_MAX, 5000), (INT32_MAX - 801'003'000) / 5000);
}

TEST(FreqToChannel, ChannelsAboveSixteenBitsStartWhereStated) {
  EXPECT_EQ(FreqToChannel(702'679'999, 5000), 65535);
  EXPECT_EQ(FreqToChannel(702'680'000, 5000), 65536);
  EXPECT_EQ(FreqToChannel(784'599'999, 6250), 65535);
  EXPECT_EQ(FreqToChannel(784'600'000, 6250), 65536);
}

TEST(Word16Field, SendsTheLowSixteenBitsHighByteFirst) {
  EXPECT_EQ(Word16Field(85200), (std::array<uint8_t, 2>{0x4C, 0xD0}));
  EXPECT_EQ(Word16Field(4480), (std::array<uint8_t, 2>{0x11, 0x80}));
  EXPECT_EQ(Word16Field(0x00FF), (std::array<uint8_t, 2>{0x00, 0xFF}));
  EXPECT_EQ(Word16Field(-1), (std::array<uint8_t, 2>{0xFF, 0xFF}));
}

TEST(FreqToLcdText, StatedExamples) {
  EXPECT_EQ(FreqToLcdText(403'000'000), "403*000");
  EXPECT_EQ(FreqToLcdText(403'012'500), "403*013");  // float just above the half
  EXPECT_EQ(FreqToLcdText(470'987'500), "470*987");  // float just below the half
  EXPECT_EQ(FreqToLcdText(403'062'500), "403*063");  // exact half, away from zero
  EXPECT_EQ(FreqToLcdText(999'999'999), "1000*000");
  EXPECT_EQ(FreqToLcdText(0), "0*000");
}

TEST(FreqToLcdText, SmallAndLargeFrequencies) {
  EXPECT_EQ(FreqToLcdText(1), "0*000");
  EXPECT_EQ(FreqToLcdText(500), "0*001");  // 0.0005 as float lies just above the half
  EXPECT_EQ(FreqToLcdText(1'500'000), "1*500");
  EXPECT_EQ(FreqToLcdText(UINT32_MAX), "4294*967");
}

// Independent reference: glibc prints the exact decimal expansion of a
// double, so round that text to three decimals, halves away from zero.
std::string ReferenceLcdText(uint32_t freqHz) {
  const float mhz = static_cast<float>(static_cast<double>(freqHz) / 1e6);
  char exact[128];
  std::snprintf(exact, sizeof exact, "%.60f", static_cast<double>(mhz));
  std::string digits(exact);
  const size_t dot = digits.find('.');
  std::string kept = digits.substr(0, dot) + digits.substr(dot + 1, 3);
  if (digits[dot + 4] >= '5') {
    size_t i = kept.size();
    while (i > 0 && kept[i - 1] == '9') kept[--i] = '0';
    if (i == 0)
      kept.insert(kept.begin(), '1');
    else
      ++kept[i - 1];
  }
  return kept.substr(0, kept.size() - 3) + "*" + kept.substr(kept.size() - 3);
}

TEST(FreqToLcdText, AgreesWithExactDecimalExpansion) {
  std::mt19937 random(9600);
  std::uniform_int_distribution<uint32_t> anyFreq;
  std::uniform_int_distribution<uint32_t> halfThousandths(0, 2'000'000);
  for (int i = 0; i < 20000; ++i) {
    const uint32_t freq = anyFreq(random);
    ASSERT_EQ(FreqToLcdText(freq), ReferenceLcdText(freq)) << freq;
    // Frequencies on a half-thousandth of a megahertz are the hard cases.
    const uint32_t half = halfThousandths(random) * 500 + 500;
    ASSERT_EQ(FreqToLcdText(half), ReferenceLcdText(half)) << half;
  }
}

TEST(TuneModeByte, StatedExamples) {
  EXPECT_EQ(TuneModeByte(true, 1, true), 0x13);     // RX, 6.25 KHz, 800 MHz
  EXPECT_EQ(TuneModeByte(false, 5, false), 0x0C);   // TX, 30 KHz
  EXPECT_EQ(TuneModeByte(false, -1, false), 0x00);  // nothing selected
  EXPECT_EQ(TuneModeByte(true, 2, false), 0x07);    // 12.5 KHz has code 3
}

TEST(TuneOptionByte, StatedExamples) {
  EXPECT_EQ(TuneOptionByte(0, 1, 0), 0x11);  // 12.5KHz/C4FM, Continuous Yes, Mute
  EXPECT_EQ(TuneOptionByte(2, 0, 2), 0x69);  // CQPSK, Continuous No, External
  EXPECT_EQ(TuneOptionByte(3, 1, 1), 0x3D);  // Wide Pulse, Continuous Yes, Internal
  EXPECT_EQ(TuneOptionByte(1, 0, 0), 0x05);  // 25KHz/C4FM
  EXPECT_EQ(TuneOptionByte(-1, -1, -1), 0x01);
  EXPECT_EQ(TuneOptionByte(4, 5, 3), 0x11) << "only the continuous index counts above range";
}

}  // namespace
}  // namespace kestrune
