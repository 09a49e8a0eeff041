// Tuning the radio and writing its display: the three frames and the two
// sequences that send them. The Tune and LCD tabs, the channel scan and
// kestrune-cli all go through SetChannel and SendLcdText; nothing else sets
// a channel or writes the display.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "console/ops/Operation.h"

namespace kestrune {

// One channel setting as the Tune tab (or a scan step) describes it.
struct TChannelSetting {
  int32_t Channel = 0;  // only its low 16 bits go out
  int StepIndex = 0;    // step list index (tune mode byte)
  bool Rx = true;       // "RX" selected in the direction list
  bool Is800 = false;   // 800 MHz band bit
  bool Sbep = false;    // send the SBEP tune frame instead
  int ModulationIndex = 0;
  int AudioIndex = 0;
  int ContinuousIndex = 1;
  uint16_t Frames = 0x00FF;
};

// The parameter bytes every caller of SendLcdText passes.
struct TLcdParams {
  uint8_t Byte3 = 0x80;
  uint8_t Byte4 = 0x08;
  uint8_t Byte6 = 0x00;
  uint8_t Byte7 = 0x00;
  uint8_t Attribute = 0x00;
};

// The longest display text in bytes: its size field (2n + 6) stays within
// one byte, as the radio's display frame expects.
inline constexpr size_t kMaxLcdTextBytes = 124;

// CHANNEL NUMBER: tune mode byte, channel high, channel low, 0x3F, check byte.
std::array<uint8_t, 5> BuildSb9600TuneFrame(const TChannelSetting& setting);

// The SBEP tune frame: F8 2B 00, option byte, 1A, frames, channel, checksum.
std::array<uint8_t, 10> BuildSbepTuneFrame(const TChannelSetting& setting);

// The display text frame for text bytes (UTF-8): 2n + 9 bytes. Throws
// std::length_error for a text longer than kMaxLcdTextBytes.
std::vector<uint8_t> BuildLcdTextFrame(const TLcdParams& params, const std::string& text);

// Sends one channel setting: the SB9600 frame, or the SBEP frame inside a
// stay in SBEP mode with device address 1 (nothing is sent when entering
// fails; SBEP mode is left after the exchange). The window does not look at
// the result; kestrune-cli turns false into its exit status. True when the
// radio took the frame: its exchange completed and, in SBEP mode, the
// acknowledge was 0x50.
bool SetChannel(TOperationContext& context, const TChannelSetting& setting);

// Sends one display text frame inside a stay in SBEP mode with device
// address 5, left also after a failed exchange. The length is checked
// before anything is sent (std::length_error). The result as SetChannel's.
bool SendLcdText(TOperationContext& context, const TLcdParams& params, const std::string& text);

// The frequency on the display: SendLcdText of FreqToLcdText(freqHz).
bool SendFreqToLcd(TOperationContext& context, uint32_t freqHz);

// "Apply Freq": the channel, then (when toLcd, and no stop was asked for
// meanwhile) the frequency on the display, then the log line "channel N
// freq F set", written whatever the radio answered. True when the radio
// took every frame sent.
bool ApplyFreq(TOperationContext& context, const TChannelSetting& setting, uint32_t freqHz,
               bool toLcd);

}  // namespace kestrune
