#include "console/ops/PacketScript.h"

#include <gtest/gtest.h>

#include "protocol/CRC16.h"

namespace kestrune {
namespace {

using Bytes = std::vector<uint8_t>;
using Kind = TScriptStatement::Kind;

TScriptStatement InSb9600(const std::string& line) { return ReadScriptLine(line, false); }
TScriptStatement InSbep(const std::string& line) { return ReadScriptLine(line, true); }

TEST(ReadScriptLine, BlankLinesAreSkippedAndLinesAreTrimmedOfControls) {
  for (const char* line : {"", "   ", "\t\r\n", " \x01 \x1F "})
    EXPECT_EQ(InSbep(line).What, Kind::Blank) << line;
  const TScriptStatement s = InSb9600("\t sbep 1 \r\n");
  EXPECT_EQ(s.Line, "sbep 1");
  EXPECT_EQ(s.What, Kind::EnterSbep);
}

TEST(ReadScriptLine, KeywordsInAnyCaseWithTheIntegerFormsOfX) {
  const std::pair<const char*, uint8_t> sbep[] = {
      {"sbep 1", 1},    {"SBEP 5", 5},       {"Sbep $1F", 0x1F}, {"sbep x25", 0x25},
      {"sbep X1f", 31}, {"sbep 0x105", 5},   {"sbep 0X7", 7},    {"sbep -1", 0xFF},
      {"sbep +3", 3},   {"sbep 2 extra", 2}, {"sbep 261", 5}};
  for (const auto& [line, address] : sbep) {
    const TScriptStatement s = InSb9600(line);
    ASSERT_EQ(s.What, Kind::EnterSbep) << line;
    EXPECT_EQ(s.DevAddr, address) << line;
  }
  for (const char* line : {"sb9600", "SB9600", "Sb9600 and words after it"})
    EXPECT_EQ(InSbep(line).What, Kind::LeaveSbep) << line;

  const std::pair<const char*, int32_t> delay[] = {{"delay 200", 200}, {"Delay 10", 10},
                                                   {"DELAY $10", 16},  {"delay 100 ms", 100},
                                                   {"delay 0", 0},     {"delay -0", 0}};
  for (const auto& [line, ms] : delay) {
    const TScriptStatement s = InSbep(line);
    ASSERT_EQ(s.What, Kind::Delay) << line;
    EXPECT_EQ(s.DelayMs, ms) << line;
  }
}

TEST(ReadScriptLine, FaultsNameTheLineAndTheConversionError) {
  const std::pair<const char*, const char*> faults[] = {
      {"delay 100ms", "delay 100ms: ''100ms'' is not a valid integer value"},
      {"sbep", "sbep: ''$sbep'' is not a valid integer value"},
      {"delay", "delay: ''$delay'' is not a valid integer value"},
      {"sbep  5", "sbep  5: '''' is not a valid integer value"},
      {"sbep\t1", "sbep\t1: ''$sbep\t1'' is not a valid integer value"},
      {"sbep 99999999999", "sbep 99999999999: ''99999999999'' is not a valid integer value"},
      {"  12 zz 34 ", "12 zz 34: ''$zz'' is not a valid integer value"},
      {"delay -5", "delay -5: a delay cannot be negative"},
      {"delay $FFFFFFFF", "delay $FFFFFFFF: a delay cannot be negative"},
  };
  for (const auto& [line, text] : faults) {
    const TScriptStatement s = InSb9600(line);
    EXPECT_EQ(s.What, Kind::Fault) << line;
    EXPECT_EQ(s.FaultText(), text);
    EXPECT_TRUE(s.Packet.empty());
  }
}

TEST(ReadScriptLine, Sb9600ByteLinesGetTheCheckByteInTheirFifthByteOnly) {
  // The entry requests for devices 1 and 5 are known frames.
  EXPECT_EQ(InSb9600("00 12 01 06 00").Packet, (Bytes{0x00, 0x12, 0x01, 0x06, 0x02}));
  EXPECT_EQ(InSb9600("0x00,0x12,0x05,0x06,0xAA").Packet, (Bytes{0x00, 0x12, 0x05, 0x06, 0x39}));
  EXPECT_EQ(InSb9600("00 12 01 06 00 77 88").Packet,
            (Bytes{0x00, 0x12, 0x01, 0x06, 0x02, 0x77, 0x88}));
  EXPECT_EQ(InSb9600("01 02").Packet, (Bytes{0x01, 0x02}));
  EXPECT_EQ(InSb9600("#1 $2 3 4").Packet, (Bytes{1, 2, 3, 4}));

  // Only separators and prefixes: no bytes, handed on as they are.
  const TScriptStatement none = InSb9600(",");
  EXPECT_EQ(none.What, Kind::Send);
  EXPECT_TRUE(none.Packet.empty());

  // "sbep" and "delay" as the start of a longer word are byte text too.
  EXPECT_EQ(InSb9600("sbepx 1").What, Kind::Fault);
}

TEST(ReadScriptLine, SbepByteLinesEndInTheInvertedByteSum) {
  EXPECT_EQ(InSbep("F5 11 02 00 00 02 00").Packet,
            (Bytes{0xF5, 0x11, 0x02, 0x00, 0x00, 0x02, 0xF5}));
  for (const char* placeholder : {"00", "FF", "5A"}) {
    const Bytes packet = InSbep(std::string("1F 00 03 41 42 ") + placeholder).Packet;
    ASSERT_EQ(packet.size(), 6u);
    EXPECT_EQ(ByteSum(packet.data(), 6), 0xFF) << placeholder;
  }
  EXPECT_EQ(InSbep("77").Packet, Bytes{0xFF});
  // Five bytes in SBEP mode: the SB9600 rule does not apply.
  EXPECT_EQ(InSbep("00 12 01 06 00").Packet, (Bytes{0x00, 0x12, 0x01, 0x06, 0xE6}));

  // No last byte to hold the checksum.
  for (const char* line : {",", "0x", "# $ ,"}) {
    const TScriptStatement s = InSbep(line);
    EXPECT_EQ(s.What, Kind::Fault) << line;
    EXPECT_EQ(s.FaultText(), std::string(line) + ": there are no bytes to send");
  }
}

}  // namespace
}  // namespace kestrune
