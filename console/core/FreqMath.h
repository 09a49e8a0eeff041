// Frequency and channel arithmetic behind the Tune and Scan tabs: the step
// table, frequency to channel number, the tune mode and tune option bytes,
// the 16-bit frame fields and the display text of a frequency.
// All pure: no state, no errors raised.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrune {

// Item texts of the step lists, by index. The Tune list holds the first two,
// the Scan list all six.
inline constexpr std::array<std::string_view, 6> kStepItemTexts{"5.0 KHz", "6.25 KHz", "12.5 KHz",
                                                                "20 KHz",  "25 KHz",   "30 KHz"};

// Step in hertz for a step-list index; 5000 for any index outside 0..5
// (including -1, no selection). Never 0.
int GetStepHz(int index);

// Step code for a step-list index: 0, 1, 3, 4, 5, 6 for indices 0..5
// (code 2 is never produced); 0 for any other index.
int GetStepCode(int index);

// Channel number of a frequency: (freqHz - band base) / stepHz, remainder
// dropped, with band bases 801 003 000, 375 000 000 and 103 000 000 Hz;
// 0 below 103 000 000 Hz. stepHz must not be 0 (it comes from GetStepHz).
int32_t FreqToChannel(int32_t freqHz, int32_t stepHz);

// The radio's display text of a frequency: megahertz with three decimals and
// "*" as the decimal mark ("403*000" for 403 000 000 Hz). The quotient is
// rounded to single precision first, then to three decimals with halves away
// from zero on the exact value of that single-precision number.
std::string FreqToLcdText(uint32_t freqHz);

// Byte 0 of the SB9600 tune frame: RX bit + 2 x step code + 0x10 for 800 MHz.
// rx is true when the direction list has "RX" (index 0) selected.
uint8_t TuneModeByte(bool rx, int stepIndex, bool is800);

// Byte 3 of the SBEP tune frame from the list indices of the SBEP group:
// bit 0 always set; modulation 0..3 in bits 2-3; continuous (index > 0) in
// bit 4; audio "Internal" (1) gives 0x20, "External" (2) gives 0x60.
// Indices out of range contribute nothing.
uint8_t TuneOptionByte(int modulationIndex, int continuousIndex, int audioIndex);

// A 16-bit frame field, high byte first: the low 16 bits of value, so a
// channel number above 65535 goes out as its remainder modulo 65536.
std::array<uint8_t, 2> Word16Field(int32_t value);

}  // namespace kestrune
