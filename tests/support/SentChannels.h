// The channel settings the simulated radio received, in order, for the scan
// tests of the operation and of the window.
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "sim/SimRadio.h"

namespace kestrune::test {

struct SentChannel {
  bool sbep = false;
  uint16_t channel = 0;
  uint8_t modeOrOption = 0;  // SB9600: tune mode byte; SBEP: option byte
  uint16_t frames = 0;
  bool operator==(const SentChannel&) const = default;
};

inline void PrintTo(const SentChannel& s, std::ostream* os) {
  *os << (s.sbep ? "SBEP " : "SB9600 ") << s.channel << " mode/option " << int(s.modeOrOption)
      << " frames " << s.frames;
}

// Every tune frame the radio took in (each attempt counts).
inline std::vector<SentChannel> SentChannels(const sim::SimRadio& radio) {
  std::vector<SentChannel> sent;
  for (const sim::ReceivedFrame& f : radio.FramesReceived()) {
    const auto& b = f.bytes;
    if (f.kind == sim::ReceivedFrame::Kind::Sb9600 && b.size() == 5 && b[3] == 0x3F)
      sent.push_back({false, uint16_t(b[1] << 8 | b[2]), b[0], 0});
    if (f.kind == sim::ReceivedFrame::Kind::Sbep && b.size() == 10 && b[1] == 0x2B)
      sent.push_back({true, uint16_t(b[7] << 8 | b[8]), b[3], uint16_t(b[5] << 8 | b[6])});
  }
  return sent;
}

inline std::vector<uint16_t> ChannelNumbers(const sim::SimRadio& radio) {
  std::vector<uint16_t> numbers;
  for (const SentChannel& s : SentChannels(radio)) numbers.push_back(s.channel);
  return numbers;
}

}  // namespace kestrune::test
