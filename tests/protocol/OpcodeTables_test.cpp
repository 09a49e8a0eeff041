#include "protocol/OpcodeTables.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

namespace kestrune {
namespace {

std::map<int, std::string> Sb9600Map() {
  std::map<int, std::string> m;
  for (const auto& e : Sb9600OpcodeNames()) EXPECT_TRUE(m.emplace(e.opcode, e.name).second);
  return m;
}

TEST(Sb9600OpcodeNames, CoverTheRangeWithTheStatedGaps) {
  const auto m = Sb9600Map();
  EXPECT_EQ(m.size(), 95u);
  const std::set<int> gaps = {0x02, 0x04, 0x05, 0x12, 0x13};
  for (int op = 0x01; op <= 0x5B; ++op) EXPECT_EQ(m.count(op), gaps.count(op) ? 0u : 1u) << op;
  const std::set<int> high = {0x81, 0x83, 0x87, 0x96, 0xA0, 0xA1, 0xA5, 0xA7, 0xE6};
  for (int op = 0x5C; op <= 0xFF; ++op) EXPECT_EQ(m.count(op), high.count(op)) << op;
  EXPECT_EQ(m.count(0x00), 0u);
}

TEST(Sb9600OpcodeNames, SecondOpcodesShareTheirNames) {
  const auto m = Sb9600Map();
  const std::pair<int, int> pairs[] = {{0x01, 0x81}, {0x03, 0x83}, {0x07, 0x87},
                                       {0x16, 0x96}, {0x20, 0xA0}, {0x21, 0xA1},
                                       {0x25, 0xA5}, {0x27, 0xA7}, {0x56, 0xE6}};
  for (auto [low, high] : pairs) EXPECT_EQ(m.at(low), m.at(high));
  EXPECT_EQ(m.at(0x81), "CHANNEL INFORMATION");
  EXPECT_EQ(m.at(0x3F), "CHANNEL NUMBER");
  EXPECT_EQ(m.at(0x4A), "VEHICULAR REPEATER STATUS UP");
  EXPECT_EQ(m.at(0x56), "SOFT POT REGISTER #1");
  EXPECT_EQ(m.at(0x06), "EXPANDED PROTOCOL REQUEST");
}

TEST(SbepRequestOpcodes, NamesAndRepliesAsTheRadioUsesThem) {
  std::map<int, std::pair<std::string, int>> m;
  for (const auto& e : SbepRequestOpcodes())
    EXPECT_TRUE(m.emplace(e.request, std::make_pair(std::string(e.name), int{e.reply})).second);
  EXPECT_EQ(m.size(), 26u);
  EXPECT_EQ(m.at(0x11), std::make_pair(std::string("Read_Data_Request"), 0x80));
  EXPECT_EQ(m.at(0x17), std::make_pair(std::string("Write_Data_Request"), 0x84));
  EXPECT_EQ(m.at(0x24), std::make_pair(std::string("Keypad_Request"), 0x00));
  EXPECT_EQ(m.at(0x44), std::make_pair(std::string("ReadRSSIRequeest"), 0x44));
  EXPECT_EQ(m.at(0xD8), std::make_pair(std::string("ReferenceOscillatorRequest"), 0x56));
  EXPECT_EQ(m.count(0x1A), 0u);
  EXPECT_EQ(m.count(0x26), 0u);
  int shares84 = 0, shares8C = 0;
  for (const auto& [op, entry] : m) {
    shares84 += entry.second == 0x84;
    shares8C += entry.second == 0x8C;
  }
  EXPECT_EQ(shares84, 3);
  EXPECT_EQ(shares8C, 7);
}

}  // namespace
}  // namespace kestrune
