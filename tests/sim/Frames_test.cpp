#include "sim/Frames.h"

#include <gtest/gtest.h>

#include "sim/BusTrace.h"

namespace kestrune::sim {
namespace {

TEST(SimFrames, Sb9600FramesCarryTheirCheckByte) {
  EXPECT_EQ(BuildSb9600Frame(0x00, 0x12, 0x05, 0x06),
            (std::vector<uint8_t>{0x00, 0x12, 0x05, 0x06, 0x39}));
  std::vector<uint8_t> frame{0x00, 0x12, 0x01, 0x06, 0x02};
  EXPECT_TRUE(IsValidSb9600Frame(frame));
  frame[2] = 0x02;
  EXPECT_FALSE(IsValidSb9600Frame(frame));
  EXPECT_FALSE(IsValidSb9600Frame(std::span(frame).first(4)));
}

TEST(SimFrames, SbepLayoutFollowsTheLengthRule) {
  const auto layout = [](std::vector<uint8_t> bytes) { return SbepPacketLayout(bytes); };
  EXPECT_EQ(layout({0x50})->Total(), 1u);
  EXPECT_EQ(layout({0xF5, 0x11})->Total(), 7u);
  EXPECT_EQ(layout({0x1F, 0x00, 0x0C})->Total(), 15u);
  EXPECT_EQ(layout({0xFF, 0x80, 0x00, 0x10})->Total(), 20u);
}

TEST(SimFrames, SbepLayoutNeedsItsSizeField) {
  EXPECT_FALSE(SbepPacketLayout(std::vector<uint8_t>{0xFF, 0x80, 0x00}));
  EXPECT_FALSE(SbepPacketLayout(std::vector<uint8_t>{0x1F, 0x00}));
  EXPECT_FALSE(SbepPacketLayout(std::vector<uint8_t>{}));
}

TEST(SimFrames, BuiltPacketsPassTheirOwnChecks) {
  const std::vector<uint8_t> small{0x00, 0x00, 0x02, 0x0B, 0x00};
  const auto nibble = BuildSbepPacket(0x80, small);
  EXPECT_EQ(nibble.front(), 0xF6);
  EXPECT_EQ(nibble.size(), 8u);
  EXPECT_TRUE(HasValidSbepChecksum(nibble));
  const auto wide = BuildSbepPacket(0x80, small, true);
  EXPECT_EQ(std::vector<uint8_t>(wide.begin(), wide.begin() + 4),
            (std::vector<uint8_t>{0xFF, 0x80, 0x00, 0x06}));
  EXPECT_TRUE(HasValidSbepChecksum(wide));
  const auto big = BuildSbepPacket(0x80, std::vector<uint8_t>(14, 0xAA));  // size 15 needs 16 bits
  EXPECT_EQ(big[0], 0xFF);
  EXPECT_TRUE(HasValidSbepChecksum(big));
  auto broken = big;
  broken.back() ^= 1;
  EXPECT_FALSE(HasValidSbepChecksum(broken));
  EXPECT_FALSE(HasValidSbepChecksum(std::span(big).first(big.size() - 1)));
  EXPECT_EQ(SbepOpcode(big), 0x80);
  EXPECT_EQ(SbepOpcode(std::vector<uint8_t>{0x1F, 0x00, 0x06}), 0x01);
}

TEST(SimFrames, HexTextBothWays) {
  EXPECT_EQ(HexBytes(std::vector<uint8_t>{0x00, 0x7E, 0xFF}), "00 7E FF");
  EXPECT_EQ(ParseHexBytes("7E 00"), (std::vector<uint8_t>{0x7E, 0x00}));
  EXPECT_EQ(ParseHexBytes("7e00ff"), (std::vector<uint8_t>{0x7E, 0x00, 0xFF}));
  EXPECT_FALSE(ParseHexBytes("7E 0"));
  EXPECT_FALSE(ParseHexBytes("7G"));
}

TEST(SimFrames, OpcodeNamesComeFromTheTables) {
  EXPECT_STREQ(Sb9600OpcodeName(0x3F), "CHANNEL NUMBER");
  EXPECT_STREQ(Sb9600OpcodeName(0x81), "CHANNEL INFORMATION");
  EXPECT_EQ(Sb9600OpcodeName(0x02), nullptr);
  ASSERT_NE(FindSbepRequest(0x11), nullptr);
  EXPECT_EQ(FindSbepRequest(0x11)->reply, 0x80);
  EXPECT_EQ(FindSbepRequest(0x2B), nullptr);
}

TEST(SimTrace, LinesShowTimeSourceMeaningAndBytes) {
  EXPECT_EQ(FormatTraceLine({TraceEvent::Source::Program,
                             "SB9600",
                             {0x00, 0x12, 0x01, 0x06, 0x02},
                             "EXPANDED PROTOCOL REQUEST: device 1"},
                            "14:02:11.381"),
            "14:02:11.381  PC>     SB9600   EXPANDED PROTOCOL REQUEST: device 1  [00 12 01 06 02]");
  EXPECT_EQ(FormatTraceLine({TraceEvent::Source::Radio, "ack", {0x50}, "accepted"}, "t"),
            "t  RADIO>  ack      accepted  [50]");
  EXPECT_EQ(FormatTraceLine({TraceEvent::Source::Note, "", {}, "SBEP mode, device 1"}, "t"),
            "t  --               SBEP mode, device 1");
  const std::string stamp = WallClockTimestamp();
  ASSERT_EQ(stamp.size(), 12u);
  EXPECT_EQ(stamp[2], ':');
  EXPECT_EQ(stamp[8], '.');
}

}  // namespace
}  // namespace kestrune::sim
