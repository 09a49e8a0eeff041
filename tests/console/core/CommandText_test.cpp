#include "console/core/CommandText.h"

#include "console/core/IntConv.h"

#include <gtest/gtest.h>

#include <random>

namespace kestrune {
namespace {

using Bytes = std::vector<uint8_t>;

std::string ParseError(const std::string& text) {
  try {
    ParseCommandBytes(text);
  } catch (const EConvertError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(ParseCommandBytes, EmptyTextOrSpacesGiveNoBytes) {
  EXPECT_EQ(ParseCommandBytes(""), Bytes{});
  EXPECT_EQ(ParseCommandBytes("    "), Bytes{});
}

TEST(ParseCommandBytes, EveryTokenGivesItsLowByte) {
  EXPECT_EQ(ParseCommandBytes("ff FF 0ff"), (Bytes{0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(ParseCommandBytes("100"), Bytes{0x00});
  EXPECT_EQ(ParseCommandBytes("1FF"), Bytes{0xFF});
  EXPECT_EQ(ParseCommandBytes("0102"), Bytes{0x02});
  EXPECT_EQ(ParseCommandBytes("FFFFFFFF"), Bytes{0xFF});
  EXPECT_EQ(ParseCommandBytes("000000001"), Bytes{0x01});
  EXPECT_EQ(ParseCommandBytes("  12   34 "), (Bytes{0x12, 0x34}));
  EXPECT_EQ(ParseCommandBytes("12 34"), (Bytes{0x12, 0x34}));
}

TEST(ParseCommandBytes, InvalidTokensFailNamingTheToken) {
  EXPECT_EQ(ParseError("zz"), "''$zz'' is not a valid integer value");
  EXPECT_EQ(ParseError("01 0X12"), "''$0X12'' is not a valid integer value");
  EXPECT_EQ(ParseError("123456789"), "''$123456789'' is not a valid integer value");
  EXPECT_EQ(ParseError("12\t34"), "''$12\t34'' is not a valid integer value");
  for (const char* text : {"0x12", "$12", "#12", "-1", "+1", "G0", "12,"})
    EXPECT_THROW(ParseCommandBytes(text), EConvertError) << text;
}

TEST(NormalizeCommandText, GivesTheCanonicalText) {
  const std::pair<std::string, std::string> cases[] = {
      {"0x01, 0x02,0x3F", "01 02 3F"},
      {"#1#a #FF", "01 0A FF"},
      {"$12$34", "12 34"},
      {"1 2 3", "01 02 03"},
      {"fe  00", "FE 00"},
      {"1234", "34"},
      {"10x20", "20"},
      {"", ""},
      {"   ", ""},
      {"0x12", "12"},
      {"#12", "12"},
  };
  for (const auto& [input, canonical] : cases)
    EXPECT_EQ(NormalizeCommandText(input), canonical) << '"' << input << '"';
}

TEST(NormalizeCommandText, CapitalXPrefixStaysInvalid) {
  try {
    NormalizeCommandText("0X12");
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "''$0X12'' is not a valid integer value");
  }
}

TEST(NormalizeCommandText, CanonicalTextIsAFixedPointAndParsesBack) {
  std::mt19937 random(2);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int round = 0; round < 200; ++round) {
    Bytes bytes(static_cast<size_t>(round % 40));
    for (auto& b : bytes) b = static_cast<uint8_t>(byte(random));
    const std::string canonical = FormatCommandBytes(bytes);
    EXPECT_EQ(NormalizeCommandText(canonical), canonical);
    EXPECT_EQ(ParseCommandBytes(canonical), bytes);
  }
  EXPECT_EQ(FormatCommandBytes({0x01, 0x0A, 0xFF}), "01 0A FF");
  EXPECT_EQ(FormatCommandBytes({}), "");
}

}  // namespace
}  // namespace kestrune
