#include "console/core/TextFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "tests/console/core/WholeFilesTest.h"
#include "tests/support/Files.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

std::string Decode(const std::string& bytes, TextEncoding& encoding) {
  return DecodeText(bytes, encoding);
}

TEST(TextEncodings, EachFileIsReadInTheEncodingItsBytesName) {
  TextEncoding encoding{};
  EXPECT_EQ(Decode("Kan\xC3\xA4l", encoding), "Kan\xC3\xA4l");
  EXPECT_EQ(encoding, TextEncoding::Utf8);
  EXPECT_EQ(Decode("\xEF\xBB\xBF[port]", encoding), "[port]");
  EXPECT_EQ(encoding, TextEncoding::Utf8Bom);
  // "Kä" and U+1F600 (a surrogate pair) in both byte orders.
  EXPECT_EQ(Decode(std::string("\xFF\xFEK\0\xE4\0\x3D\xD8\x00\xDE", 10), encoding),
            "K\xC3\xA4\xF0\x9F\x98\x80");
  EXPECT_EQ(encoding, TextEncoding::Utf16LE);
  EXPECT_EQ(Decode(std::string("\xFE\xFF\0K\0\xE4\xD8\x3D\xDE\x00", 10), encoding),
            "K\xC3\xA4\xF0\x9F\x98\x80");
  EXPECT_EQ(encoding, TextEncoding::Utf16BE);
  EXPECT_EQ(Decode("Kan\xE4l \x80", encoding), "Kan\xC3\xA4l \xE2\x82\xAC");
  EXPECT_EQ(encoding, TextEncoding::Windows1252);
}

TEST(TextEncodings, UnsoundUtf8OrUtf16IsReadAsWindows1252SoNoByteIsLost) {
  for (const std::string& bytes :
       {std::string("\xC0\xAF"),                // overlong "/"
        std::string("\xED\xA0\x80"),            // a surrogate in UTF-8
        std::string("\xF4\x90\x80\x80"),        // above U+10FFFF
        std::string("\xEF\xBB\xBF\xE4"),        // a UTF-8 mark before a 1252 letter
        std::string("\xFF\xFEK", 3),            // odd length
        std::string("\xFF\xFE\x00\xDC", 4)}) {  // a lone low surrogate
    TextEncoding encoding{};
    const std::string text = DecodeText(bytes, encoding);
    EXPECT_EQ(encoding, TextEncoding::Windows1252) << bytes;
    EXPECT_EQ(EncodeText(text, encoding), bytes);
    EXPECT_EQ(encoding, TextEncoding::Windows1252);
  }
}

TEST(TextEncodings, EveryWindows1252ByteComesBackAsItself) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  TextEncoding encoding{};
  const std::string text = DecodeText(all, encoding);
  ASSERT_EQ(encoding, TextEncoding::Windows1252);
  EXPECT_EQ(EncodeText(text, encoding), all);
  EXPECT_EQ(encoding, TextEncoding::Windows1252);

  // The five bytes the code page leaves undefined are the C1 controls of the
  // same number, as Windows reads them; their neighbours are letters.
  for (const char undefined : {'\x81', '\x8D', '\x8F', '\x90', '\x9D'}) {
    TextEncoding one{};
    EXPECT_EQ(DecodeText(std::string("\xE4") + undefined, one),
              std::string("\xC3\xA4\xC2") + undefined);
  }
  TextEncoding one{};
  EXPECT_EQ(DecodeText("\x8C\x9F", one), "\xC5\x92\xC5\xB8");  // Œ Ÿ
}

TEST(TextEncodings, EachEncodingWritesBackTheBytesItWasReadFrom) {
  for (const std::string& bytes :
       {std::string("\xEF\xBB\xBF[port]\r\nBaud=9600\r\n"),
        std::string("\xFF\xFE[\0p\0]\0\r\0\n\0\xE4\0", 14),
        std::string("\xFE\xFF\0[\0p\0]\0\r\0\n\0\xE4\xD8\x3D\xDE\x00", 18),
        std::string("[p]\r\nc=Kan\xE4l\r\n")}) {
    TextEncoding encoding{};
    const std::string text = DecodeText(bytes, encoding);
    const TextEncoding read = encoding;
    EXPECT_EQ(EncodeText(text, encoding), bytes);
    EXPECT_EQ(encoding, read);
  }
}

// Whatever is written must read back as the same text, so a file falls back
// to UTF-8 when its own encoding cannot promise that.
TEST(TextEncodings, TextWindows1252CannotHoldIsWrittenAsUtf8) {
  const auto written = [](const std::string& text, TextEncoding encoding) {
    const std::string bytes = EncodeText(text, encoding);
    TextEncoding readAs{};
    EXPECT_EQ(DecodeText(bytes, readAs), text);
    return std::pair(bytes, encoding);
  };
  EXPECT_EQ(written("Kan\xC3\xA4l", TextEncoding::Windows1252),
            std::pair(std::string("Kan\xE4l"), TextEncoding::Windows1252));
  // Omega has no Windows-1252 byte.
  EXPECT_EQ(written("K\xC3\xA4 \xCE\xA9", TextEncoding::Windows1252),
            std::pair(std::string("K\xC3\xA4 \xCE\xA9"), TextEncoding::Utf8));
  // "Ã¤" in Windows-1252 is C3 A4, which would read back as the UTF-8 "ä".
  EXPECT_EQ(written("\xC3\x83\xC2\xA4", TextEncoding::Windows1252).second, TextEncoding::Utf8);
  // "ÿþ" in Windows-1252 is a UTF-16 byte-order mark.
  EXPECT_EQ(written("\xC3\xBF\xC3\xBE", TextEncoding::Windows1252).second, TextEncoding::Utf8);
  // A text that begins with U+FEFF keeps it behind a mark of its own.
  EXPECT_EQ(written("\xEF\xBB\xBFx", TextEncoding::Utf8),
            std::pair(std::string("\xEF\xBB\xBF\xEF\xBB\xBFx"), TextEncoding::Utf8Bom));
  // Invalid UTF-8 handed in is written as U+FFFD, not as bytes that would
  // turn the file into Windows-1252.
  TextEncoding utf8 = TextEncoding::Utf8;
  EXPECT_EQ(EncodeText("a\xFF", utf8), "a\xEF\xBF\xBD");
}

TEST(TextLines, CrLfLfALoneCrAndCrsBeforeLfEachEndOneLine) {
  std::vector<std::pair<std::string, std::string>> lines;
  for (const TTextLine& line : SplitLines("a\r\nb\nc\rd\r\r\ne\r\rf"))
    lines.emplace_back(line.Text, line.End);
  EXPECT_EQ(lines, (std::vector<std::pair<std::string, std::string>>{{"a", "\r\n"},
                                                                     {"b", "\n"},
                                                                     {"c", "\r"},
                                                                     {"d", "\r\r\n"},
                                                                     {"e", "\r"},
                                                                     {"", "\r"},
                                                                     {"f", ""}}));
  EXPECT_TRUE(SplitLines("").empty());
}

TEST(TextLines, AFileKeepsTheLineEndItUsesMost) {
  const struct {
    std::string bytes;
    std::string text;
    std::string lineEnd;
    bool uniform;  // every line end alike: the bytes come back as they were
  } cases[] = {
      {"a\r\nb\r\n", "a\nb\n", "\r\n", true},
      {"a\nb", "a\nb", "\n", true},
      {"a\rb\r", "a\nb\n", "\r", true},
      {"a\r\r\nb\r\r\n", "a\nb\n", "\r\r\n", true},
      {"a\nb\r\nc\r\n", "a\nb\nc\n", "\r\n", false},
      {"one line", "one line", "\r\n", true},
      {"", "", "\r\n", true},
  };
  for (const auto& c : cases) {
    const TTextFile file = DecodeTextFile(c.bytes);
    EXPECT_EQ(file.Text, c.text);
    EXPECT_EQ(file.LineEnd, c.lineEnd);
    if (c.uniform) {
      EXPECT_EQ(EncodeTextFile(file), c.bytes);
    }
  }
  EXPECT_EQ(EncodeTextFile(TTextFile{"new\nfile\n"}), "new\r\nfile\r\n");
}

TEST_F(WholeFiles, ANewFileIsCreatedAnOldOneReplacedAndNothingIsLeftBehind) {
  WriteWholeFile(path_, "first");
  EXPECT_EQ(ReadWholeFile(path_), "first");
  WriteWholeFile(path_, "second");
  EXPECT_EQ(ReadFile(path_), "second");
  EXPECT_EQ(FilesInFolder(), 1);
}

TEST_F(WholeFiles, AMissingFileGivesTheSystemsReason) {
  try {
    ReadWholeFile(path_);
    FAIL() << "a missing file was read";
  } catch (const EFileError& e) {
    EXPECT_EQ(e.Error(), ENOENT);
    EXPECT_EQ(std::string(e.what()), "Unable to read " + path_ + ": No such file or directory");
  }
}

TEST_F(WholeFiles, WhatCannotBeReplacedIsNamedAndNothingIsLeftBehind) {
  fs::create_directories(folder_.Path() / "settings.ini" / "inside");
  EXPECT_EQ(WriteError(path_, "x"), "Unable to write to " + path_);
  const std::string missingFolder = folder_.File("gone/settings.ini");
  EXPECT_EQ(WriteError(missingFolder, "x"), "Unable to write to " + missingFolder);
  EXPECT_EQ(FilesInFolder(), 1);
}

TEST_F(WholeFiles, TextFilesAreReadAndWrittenInTheirOwnEncoding) {
  const std::string bytes("\xFF\xFEK\0\r\0\n\0", 8);
  WriteFile(path_, bytes);
  TTextFile file = ReadTextFile(path_);
  EXPECT_EQ(file.Text, "K\n");
  EXPECT_EQ(file.Encoding, TextEncoding::Utf16LE);
  WriteTextFile(path_, file);
  EXPECT_EQ(ReadFile(path_), bytes);
}

}  // namespace
}  // namespace kestrune
