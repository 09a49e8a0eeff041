#include "console/ops/Tune.h"

#include <stdexcept>

#include "console/core/FreqMath.h"
#include "protocol/CRC16.h"
#include "protocol/SB9600.h"

namespace kestrune {

namespace {

constexpr uint8_t kChannelNumberOpcode = 0x3F;
constexpr uint8_t kTuneDeviceAddress = 1;
constexpr uint8_t kDisplayDeviceAddress = 5;

constexpr uint8_t kAccepted = 0x50;

// One exchange inside a stay in SBEP mode; nothing is sent when the radio
// does not enter it. The stay ends also when the exchange throws. True when
// the radio acknowledged the packet with 0x50.
bool SendInSbepMode(TSb9600& engine, uint8_t deviceAddress, const std::vector<uint8_t>& packet) {
  if (!engine.EnterSbepMode(deviceAddress)) return false;
  bool accepted = false;
  try {
    accepted = engine.SendRepeatAndWait(packet) && engine.SbepResp() == kAccepted;
  } catch (...) {
    engine.LeaveSbepMode();
    throw;
  }
  engine.LeaveSbepMode();
  return accepted;
}

}  // namespace

std::array<uint8_t, 5> BuildSb9600TuneFrame(const TChannelSetting& setting) {
  const auto channel = Word16Field(setting.Channel);
  std::array<uint8_t, 5> frame{TuneModeByte(setting.Rx, setting.StepIndex, setting.Is800),
                               channel[0], channel[1], kChannelNumberOpcode, 0};
  frame[4] = Sb9600Crc(frame.data(), 4);
  return frame;
}

std::array<uint8_t, 10> BuildSbepTuneFrame(const TChannelSetting& setting) {
  const auto frames = Word16Field(setting.Frames);
  const auto channel = Word16Field(setting.Channel);
  std::array<uint8_t, 10> frame{
      0xF8,
      0x2B,
      0x00,
      TuneOptionByte(setting.ModulationIndex, setting.ContinuousIndex, setting.AudioIndex),
      0x1A,
      frames[0],
      frames[1],
      channel[0],
      channel[1],
      0};
  frame[9] = InvertedByteSum(frame.data(), 9);
  return frame;
}

std::vector<uint8_t> BuildLcdTextFrame(const TLcdParams& params, const std::string& text) {
  if (text.size() > kMaxLcdTextBytes)
    throw std::length_error("The display text is " + std::to_string(text.size()) +
                            " bytes long; the radio's display takes at most " +
                            std::to_string(kMaxLcdTextBytes));
  const auto n = static_cast<uint8_t>(text.size());
  const int size = 2 * n + 6;
  const std::array<uint8_t, 8> header{0x1F,
                                      static_cast<uint8_t>(size >> 8),
                                      static_cast<uint8_t>(size),
                                      params.Byte3,
                                      params.Byte4,
                                      n,
                                      params.Byte6,
                                      params.Byte7};
  std::vector<uint8_t> frame;
  frame.reserve(2 * n + 9);
  for (uint8_t b : header) frame.push_back(b);
  for (char c : text) frame.push_back(static_cast<uint8_t>(c));
  for (int i = 0; i < n; ++i) frame.push_back(params.Attribute);
  frame.push_back(InvertedByteSum(frame.data(), static_cast<int32_t>(frame.size())));
  return frame;
}

bool SetChannel(TOperationContext& context, const TChannelSetting& setting) {
  if (!setting.Sbep) {
    const auto frame = BuildSb9600TuneFrame(setting);
    return context.Engine.SendRepeatAndWait(frame.data(), static_cast<int32_t>(frame.size()));
  }
  const auto frame = BuildSbepTuneFrame(setting);
  return SendInSbepMode(context.Engine, kTuneDeviceAddress, {frame.begin(), frame.end()});
}

bool SendLcdText(TOperationContext& context, const TLcdParams& params, const std::string& text) {
  return SendInSbepMode(context.Engine, kDisplayDeviceAddress, BuildLcdTextFrame(params, text));
}

bool SendFreqToLcd(TOperationContext& context, uint32_t freqHz) {
  return SendLcdText(context, TLcdParams{}, FreqToLcdText(freqHz));
}

bool ApplyFreq(TOperationContext& context, const TChannelSetting& setting, uint32_t freqHz,
               bool toLcd) {
  bool taken = SetChannel(context, setting);
  if (toLcd && !context.Stopping()) taken = SendFreqToLcd(context, freqHz) && taken;
  context.Log("channel " + std::to_string(setting.Channel) + " freq " + std::to_string(freqHz) +
              " set");
  return taken;
}

}  // namespace kestrune
