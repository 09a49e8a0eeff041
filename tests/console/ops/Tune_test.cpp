// Tuning and display text: the three frames against the radio's documented
// examples, and the two sequences against the simulated radio.
#include "console/ops/Tune.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "OperationTestKit.h"
#include "protocol/CRC16.h"

namespace kestrune::test {
namespace {

using Bytes = std::vector<uint8_t>;

TChannelSetting Rx625(int32_t channel) {
  TChannelSetting setting;
  setting.Channel = channel;
  setting.StepIndex = 1;
  return setting;
}

// Received SBEP packets and SB9600 frames, as the radio saw them.
std::vector<sim::ReceivedFrame> Received(OperationTestKit& kit) {
  return kit.Radio([](sim::SimRadio& r) {
    return std::vector<sim::ReceivedFrame>(r.FramesReceived().begin(), r.FramesReceived().end());
  });
}

TEST(TuneFrames, Sb9600FrameCarriesModeChannelAndCheckByte) {
  const auto frame = BuildSb9600TuneFrame(Rx625(4480));
  EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 4), (Bytes{0x03, 0x11, 0x80, 0x3F}));
  EXPECT_EQ(frame[4], Sb9600Crc(frame.data(), 4));

  TChannelSetting tx800 = Rx625(70000);  // above 16 bits: its remainder goes out
  tx800.Rx = false;
  tx800.Is800 = true;
  tx800.StepIndex = 0;
  const auto wide = BuildSb9600TuneFrame(tx800);
  EXPECT_EQ(Bytes(wide.begin(), wide.begin() + 4), (Bytes{0x10, 0x11, 0x70, 0x3F}));
}

TEST(TuneFrames, SbepFrameCarriesOptionFramesChannelAndChecksum) {
  TChannelSetting setting = Rx625(4480);
  setting.Sbep = true;
  const auto frame = BuildSbepTuneFrame(setting);
  EXPECT_EQ(Bytes(frame.begin(), frame.end()),
            (Bytes{0xF8, 0x2B, 0x00, 0x11, 0x1A, 0x00, 0xFF, 0x11, 0x80, 0x21}));

  setting.ModulationIndex = 2;  // CQPSK
  setting.AudioIndex = 2;       // External
  setting.ContinuousIndex = 0;  // Continuous No
  const auto other = BuildSbepTuneFrame(setting);
  EXPECT_EQ(other[3], 0x69);
  EXPECT_EQ(other[9], 0xC9);
}

TEST(TuneFrames, DisplayFrameSizesAndChecksums) {
  const Bytes selfCheck = [] {
    const auto f = BuildLcdTextFrame({}, "SELF CHECK");
    return Bytes(f.begin(), f.end());
  }();
  ASSERT_EQ(selfCheck.size(), 29u);
  EXPECT_EQ(Bytes(selfCheck.begin(), selfCheck.begin() + 8),
            (Bytes{0x1F, 0x00, 0x1A, 0x80, 0x08, 0x0A, 0x00, 0x00}));
  EXPECT_EQ(std::string(selfCheck.begin() + 8, selfCheck.begin() + 18), "SELF CHECK");
  EXPECT_EQ(Bytes(selfCheck.begin() + 18, selfCheck.begin() + 28), Bytes(10, 0x00));
  EXPECT_EQ(selfCheck.back(), 0x8C);

  EXPECT_EQ(BuildLcdTextFrame({}, ""),
            (Bytes{0x1F, 0x00, 0x06, 0x80, 0x08, 0x00, 0x00, 0x00, 0x52}));
  // n counts bytes: "É" is two of them.
  EXPECT_EQ(BuildLcdTextFrame({}, "\xC3\x89")[5], 2);
  // The frequency on the display.
  const Bytes freq = BuildLcdTextFrame({}, "403*013");
  EXPECT_EQ(freq.size(), 23u);
  EXPECT_EQ(freq[2], 0x14);
}

TEST(TuneFrames, DisplayTextsPastTheFrameLimitAreRefused) {
  EXPECT_EQ(BuildLcdTextFrame({}, std::string(kMaxLcdTextBytes, 'A')).size(),
            2 * kMaxLcdTextBytes + 9);
  EXPECT_THROW(BuildLcdTextFrame({}, std::string(kMaxLcdTextBytes + 1, 'A')), std::length_error);
}

TEST(TuneSequences, AnSb9600TuneFrameSetsTheRadiosChannel) {
  OperationTestKit kit;
  auto context = kit.Context();
  EXPECT_TRUE(SetChannel(context, Rx625(4480)));
  const auto tune = kit.Radio([](sim::SimRadio& r) { return r.LastSb9600Tune(); });
  ASSERT_TRUE(tune);
  EXPECT_EQ(tune->channel, 4480);
  EXPECT_EQ(tune->modeByte, 0x03);
  EXPECT_FALSE(kit.Engine().SbepMode);
}

TEST(TuneSequences, AnSbepTuneFrameGoesInAStayWithDeviceOneAndTheStayEnds) {
  OperationTestKit kit;
  auto context = kit.Context();
  TChannelSetting setting = Rx625(0x1234);
  setting.Sbep = true;
  setting.Frames = 0x0002;
  EXPECT_TRUE(SetChannel(context, setting));

  const auto tune = kit.Radio([](sim::SimRadio& r) { return r.LastSbepTune(); });
  ASSERT_TRUE(tune);
  EXPECT_EQ(tune->option, 0x11);
  EXPECT_EQ(tune->frames, 0x0002);
  EXPECT_EQ(tune->channel, 0x1234);
  const auto received = Received(kit);
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received.front().bytes, (Bytes{0x00, 0x12, 0x01, 0x06, 0x02}));  // device 1
  EXPECT_TRUE(kit.Logged("leaving SBEP mode"));
  EXPECT_FALSE(kit.Engine().SbepMode);
  EXPECT_EQ(kit.Radio([](sim::SimRadio& r) { return r.Mode(); }), sim::BusMode::Sb9600);
}

TEST(TuneSequences, TheDisplayTextGoesToDeviceFive) {
  OperationTestKit kit;
  auto context = kit.Context();
  EXPECT_TRUE(SendLcdText(context, {}, "SELF CHECK"));
  const auto display = kit.Radio([](sim::SimRadio& r) { return r.LastDisplayText(); });
  ASSERT_TRUE(display);
  EXPECT_EQ(display->device, 5);
  EXPECT_EQ(display->Text(), "SELF CHECK");
  EXPECT_TRUE(kit.Logged("leaving SBEP mode"));

  EXPECT_TRUE(SendFreqToLcd(context, 403012500));
  EXPECT_EQ(kit.Radio([](sim::SimRadio& r) { return r.LastDisplayText()->Text(); }), "403*013");
}

TEST(TuneSequences, AFailedSbepEntrySendsNothingAndStillLeaves) {
  sim::RadioConfig config;
  config.faults.refuseAck = 1000;  // every entry request refused
  OperationTestKit kit(config);
  auto context = kit.Context();
  TChannelSetting setting = Rx625(100);
  setting.Sbep = true;
  EXPECT_FALSE(SetChannel(context, setting));
  EXPECT_FALSE(SendLcdText(context, {}, "X"));

  EXPECT_FALSE(kit.Radio([](sim::SimRadio& r) { return r.LastSbepTune(); }));
  EXPECT_FALSE(kit.Radio([](sim::SimRadio& r) { return r.LastDisplayText(); }));
  for (const auto& frame : Received(kit)) EXPECT_EQ(frame.kind, sim::ReceivedFrame::Kind::Sb9600);
  EXPECT_TRUE(kit.Logged("SBEP mode: error"));
  EXPECT_FALSE(kit.Engine().SbepMode);
}

TEST(TuneSequences, ATooLongDisplayTextSendsNothing) {
  OperationTestKit kit;
  auto context = kit.Context();
  EXPECT_THROW(SendLcdText(context, {}, std::string(200, 'A')), std::length_error);
  EXPECT_TRUE(Received(kit).empty());
  EXPECT_FALSE(kit.Engine().SbepMode);
}

}  // namespace
}  // namespace kestrune::test
