#include "console/core/IntConv.h"

#include <gtest/gtest.h>

#include <climits>

namespace kestrune {
namespace {

std::string MessageOf(const std::string& text) {
  try {
    StrToInt(text);
  } catch (const EConvertError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(StrToInt, ReadsDecimalWithOptionalSign) {
  EXPECT_EQ(StrToInt("0"), 0);
  EXPECT_EQ(StrToInt("403000000"), 403000000);
  EXPECT_EQ(StrToInt("-123"), -123);
  EXPECT_EQ(StrToInt("+7"), 7);
  EXPECT_EQ(StrToInt("007"), 7);
  EXPECT_EQ(StrToInt("-0"), 0);
  EXPECT_EQ(StrToInt("  42"), 42) << "leading spaces are skipped";
}

TEST(StrToInt, ReadsHexadecimalWithEveryPrefix) {
  for (const char* text : {"$1F", "$1f", "x1F", "X1f", "0x1F", "0X1f", "+$1F"})
    EXPECT_EQ(StrToInt(text), 31) << text;
  EXPECT_EQ(StrToInt("-$10"), -16);
  EXPECT_EQ(StrToInt("$000000001"), 1) << "leading zeros are not significant";
  EXPECT_EQ(StrToInt("$0"), 0);
}

TEST(StrToInt, KeepsTheFullThirtyTwoBitRange) {
  EXPECT_EQ(StrToInt("2147483647"), INT32_MAX);
  EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
  EXPECT_EQ(StrToInt("$7FFFFFFF"), INT32_MAX);
  EXPECT_EQ(StrToInt("$FFFFFFFF"), -1) << "hex gives the 32-bit pattern";
  EXPECT_EQ(StrToInt("$80000000"), INT32_MIN);
  EXPECT_EQ(StrToInt("-$80000000"), INT32_MIN);
}

TEST(StrToInt, RejectsOutOfRangeValues) {
  for (const char* text : {"2147483648", "-2147483649", "99999999999999999999", "$123456789",
                           "$FFFFFFFFF", "-$80000001", "-$FFFFFFFF"})
    EXPECT_THROW(StrToInt(text), EConvertError) << text;
}

TEST(StrToInt, RejectsMalformedText) {
  for (const char* text :
       {"",    " ",   "-",   "+",   "$",  "x",    "0x",  "12 ",   "1 2", "\t1",
        "1e3", "--1", "$-1", "$$1", "$G", "0x1G", "abc", "12abc", "1.5", "1,000"})
    EXPECT_THROW(StrToInt(text), EConvertError) << '"' << text << '"';
}

TEST(StrToInt, ErrorNamesTheTextBetweenDoubledApostrophes) {
  EXPECT_EQ(MessageOf("100ms"), "''100ms'' is not a valid integer value");
  EXPECT_EQ(MessageOf(""), "'''' is not a valid integer value");
  try {
    StrToInt("abc");
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    const auto* convert = dynamic_cast<const EConvertError*>(&e);
    ASSERT_NE(convert, nullptr);
    EXPECT_EQ(convert->Text(), "abc");
  }
}

// The message is read as a C string (what()), which a NUL would end early.
TEST(StrToInt, ANulInTheTextShowsInTheMessageAndTheTextKeepsIt) {
  const std::string text(
      "1\0"
      "2",
      3);
  try {
    StrToInt(text);
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_EQ(std::string(e.what()),
              "''1\xE2\x90\x80"
              "2'' is not a valid integer value");
    EXPECT_EQ(e.Text(), text);
  }
}

TEST(HexToInt, PutsDollarInFrontOfTheDigits) {
  EXPECT_EQ(HexToInt("00FF"), 255);
  EXPECT_EQ(HexToInt("b35"), 0xB35);
  EXPECT_EQ(HexToInt("FFFFFFFF"), -1);
  try {
    HexToInt("zz");
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "''$zz'' is not a valid integer value");
  }
  try {
    HexToInt("");
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "''$'' is not a valid integer value");
  }
  for (const char* text : {"-1", "0x12", "x12", " 12", "12 ", "1 2", "123456789"})
    EXPECT_THROW(HexToInt(text), EConvertError) << text;
}

TEST(StrToIntDef, GivesTheFallbackInsteadOfAnError) {
  EXPECT_EQ(StrToIntDef("19200", 0), 19200);
  EXPECT_EQ(StrToIntDef("$10", 0), 16);
  EXPECT_EQ(StrToIntDef("0x10", 0), 16);
  EXPECT_EQ(StrToIntDef("-1", 0), -1);
  EXPECT_EQ(StrToIntDef("yes", 7), 7);
  EXPECT_EQ(StrToIntDef("", 7), 7);
  EXPECT_EQ(TryStrToInt("12"), std::optional<int32_t>(12));
  EXPECT_EQ(TryStrToInt("12x"), std::nullopt);
}

}  // namespace
}  // namespace kestrune
