#include "console/core/FreqMath.h"

#include <cmath>

namespace kestrune {

namespace {

struct StepRow {
  int hz;
  int code;
};

constexpr std::array<StepRow, 6> kStepTable{{
    {5000, 0},
    {6250, 1},
    {12500, 3},
    {20000, 4},
    {25000, 5},
    {30000, 6},
}};

constexpr StepRow StepRowAt(int index) {
  if (index < 0 || index >= static_cast<int>(kStepTable.size())) return kStepTable[0];
  return kStepTable[static_cast<size_t>(index)];
}

// v * 1000 rounded to a whole number, halves away from zero, computed on the
// exact binary value of v (v >= 0). v = mantissa * 2^exponent with a 24-bit
// mantissa, so mantissa * 1000 fits in 34 bits and the shift below is exact.
uint64_t RoundThousandths(float v) {
  int exponent = 0;
  const float fraction = std::frexp(v, &exponent);  // v = fraction * 2^exponent
  const auto mantissa = static_cast<uint64_t>(std::ldexp(fraction, 24));
  exponent -= 24;
  const uint64_t scaled = mantissa * 1000;
  if (exponent >= 0) return scaled << exponent;
  const int shift = -exponent;
  if (shift >= 63) return 0;  // below 2^-29: far under half a thousandth
  return (scaled + (uint64_t{1} << (shift - 1))) >> shift;
}

}  // namespace

int GetStepHz(int index) { return StepRowAt(index).hz; }

int GetStepCode(int index) { return StepRowAt(index).code; }

int32_t FreqToChannel(int32_t freqHz, int32_t stepHz) {
  int32_t bandBase = 0;
  if (freqHz >= 801'003'000)
    bandBase = 801'003'000;
  else if (freqHz >= 375'000'000)
    bandBase = 375'000'000;
  else if (freqHz >= 103'000'000)
    bandBase = 103'000'000;
  else
    return 0;
  return (freqHz - bandBase) / stepHz;
}

std::string FreqToLcdText(uint32_t freqHz) {
  // The radio's display shows the single-precision value, so the rounding
  // to float is part of the result: it decides near half-thousandths.
  const auto megahertz = static_cast<float>(static_cast<double>(freqHz) / 1e6);
  const uint64_t thousandths = RoundThousandths(megahertz);
  std::string fraction = std::to_string(thousandths % 1000);
  fraction.insert(0, 3 - fraction.size(), '0');
  return std::to_string(thousandths / 1000) + "*" + fraction;
}

uint8_t TuneModeByte(bool rx, int stepIndex, bool is800) {
  return static_cast<uint8_t>((rx ? 0x01 : 0x00) | (GetStepCode(stepIndex) << 1) |
                              (is800 ? 0x10 : 0x00));
}

uint8_t TuneOptionByte(int modulationIndex, int continuousIndex, int audioIndex) {
  uint8_t option = 0x01;
  if (modulationIndex >= 0 && modulationIndex <= 3)
    option |= static_cast<uint8_t>(modulationIndex << 2);
  if (continuousIndex > 0) option |= 0x10;
  if (audioIndex == 1) option |= 0x20;
  if (audioIndex == 2) option |= 0x60;
  return option;
}

std::array<uint8_t, 2> Word16Field(int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  return {static_cast<uint8_t>((bits >> 8) & 0xFF), static_cast<uint8_t>(bits & 0xFF)};
}

}  // namespace kestrune
