#include "console/core/IniFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/Files.h"
#include "tests/support/Process.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;

class IniFileTest : public ::testing::Test {
 protected:
  void WriteFile(const std::string& text) const { test::WriteFile(path_, text); }
  std::string ReadFile() const { return test::ReadFile(path_); }

  test::ScratchDir scratch_;
  const fs::path dir_ = scratch_.Path();
  const std::string path_ = scratch_.File("settings.ini");
};

TEST_F(IniFileTest, NamesMatchWithoutCaseAndValuesAreTrimmedAndUnquoted) {
  WriteFile(
      "[Port]\r\n"
      "  BAUD =  19200  \r\n"
      "quoted=\"  spaced \"\r\n"
      "single=' x '\r\n"
      "mixed=\"a'\r\n"
      "twice=\"\"inner\"\"\r\n"
      "eq=a=b\r\n");
  TIniFile ini(path_);
  EXPECT_EQ(ini.ReadString("port", "baud", "9600"), "19200");
  EXPECT_EQ(ini.ReadString("PORT", "Quoted", ""), "  spaced ");
  EXPECT_EQ(ini.ReadString("port", "single", ""), " x ");
  EXPECT_EQ(ini.ReadString("port", "mixed", ""), "\"a'");
  EXPECT_EQ(ini.ReadString("port", "twice", ""), "\"inner\"");
  EXPECT_EQ(ini.ReadString("port", "eq", ""), "a=b");
  EXPECT_EQ(ini.ReadString("port", "missing", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadString("nosuch", "baud", "dflt"), "dflt");
}

TEST_F(IniFileTest, ValuesAreCutAfter2047CharactersNeverInsideOne) {
  const std::string ascii(3000, 'a');
  std::string wide;
  for (int i = 0; i < 2100; ++i) wide += "\xC3\xA9";  // é, two bytes each
  WriteFile("[s]\nascii=" + ascii + "\nwide=" + wide + "\nexact=" + std::string(2047, 'b') + "\n");
  TIniFile ini(path_);
  EXPECT_EQ(ini.ReadString("s", "ascii", ""), std::string(2047, 'a'));
  EXPECT_EQ(ini.ReadString("s", "wide", "").size(), 2047u * 2);
  EXPECT_EQ(ini.ReadString("s", "exact", ""), std::string(2047, 'b'));
}

TEST_F(IniFileTest, IntegersAndBooleansFallBackOnAnythingElse) {
  WriteFile(
      "[n]\ndec=42\nneg=-7\ndollar=$1F\nhex=0x20\nbad=12abc\nword=yes\nempty=\n"
      "xonly=x10\nbig=99999999999\n"
      "[b]\nzero=0\none=1\nfive=5\nhex=$0\ntext=true\n");
  TIniFile ini(path_);
  EXPECT_EQ(ini.ReadInteger("n", "dec", 0), 42);
  EXPECT_EQ(ini.ReadInteger("n", "neg", 0), -7);
  EXPECT_EQ(ini.ReadInteger("n", "dollar", 0), 0x1F);
  EXPECT_EQ(ini.ReadInteger("n", "hex", 0), 0x20);
  EXPECT_EQ(ini.ReadInteger("n", "bad", 3), 3);
  EXPECT_EQ(ini.ReadInteger("n", "word", 3), 3);
  EXPECT_EQ(ini.ReadInteger("n", "empty", 3), 3);
  EXPECT_EQ(ini.ReadInteger("n", "xonly", 3), 3);
  EXPECT_EQ(ini.ReadInteger("n", "big", 3), 3);
  EXPECT_EQ(ini.ReadInteger("n", "missing", -1), -1);

  EXPECT_FALSE(ini.ReadBool("b", "zero", true));
  EXPECT_TRUE(ini.ReadBool("b", "one", false));
  EXPECT_TRUE(ini.ReadBool("b", "five", false));
  EXPECT_FALSE(ini.ReadBool("b", "hex", true));
  EXPECT_TRUE(ini.ReadBool("b", "text", true));
  EXPECT_FALSE(ini.ReadBool("b", "text", false));
}

TEST_F(IniFileTest, SectionKeysComeInFileOrderAndTheFirstOfAKeyWins) {
  WriteFile(
      "[buttons1]\nButtonP1_5=e;\n; a comment=with equals\nButtonP1_0=a;01\nbuttonp1_5=dup;\n"
      "not a key\n[BUTTONS1]\nlater=x\n");
  TIniFile ini(path_);
  EXPECT_EQ(ini.ReadSection("Buttons1"),
            (std::vector<std::string>{"ButtonP1_5", "ButtonP1_0", "buttonp1_5"}));
  EXPECT_EQ(ini.ReadString("buttons1", "BUTTONP1_5", ""), "e;");
  EXPECT_TRUE(ini.SectionExists("buttons1"));
  EXPECT_FALSE(ini.SectionExists("buttons2"));
  EXPECT_TRUE(ini.ReadSection("buttons2").empty());
}

TEST_F(IniFileTest, WritingKeepsWhatTheProgramDoesNotTouch) {
  const std::string original =
      "; written by hand\n"
      "[future]\n"
      "Shiny = \"kept as is\"\n"
      "\n"
      "[port]\n"
      "Baud=9600\n"
      "Extra=1\n"
      "\n"
      "[devices]\n"
      "COM1=/dev/ttyUSB0\n";
  WriteFile(original);
  TIniFile ini(path_);
  ini.WriteString("PORT", "baud", "4800");
  ini.WriteString("port", "Bits", "7");
  ini.WriteBool("log", "transmit", true);
  ini.WriteInteger("log", "index", -1);
  ini.UpdateFile();

  EXPECT_EQ(ReadFile(),
            "; written by hand\n"
            "[future]\n"
            "Shiny = \"kept as is\"\n"
            "\n"
            "[port]\n"
            "baud=4800\n"
            "Extra=1\n"
            "Bits=7\n"
            "\n"
            "[devices]\n"
            "COM1=/dev/ttyUSB0\n"
            "[log]\n"
            "transmit=1\n"
            "index=-1\n");
  TIniFile again(path_);
  EXPECT_EQ(again.ReadString("future", "shiny", ""), "kept as is");
  EXPECT_EQ(again.ReadInteger("log", "index", 0), -1);
}

// A line break (a caption pasted from several lines) would end the line in
// the file: the rest would become lines of its own, here a key that shifts
// every later button of the page, which are read by position.
TEST_F(IniFileTest, ALineBreakInAWrittenValueOrKeyCannotSplitItsLine) {
  TIniFile ini(path_);
  ini.WriteString("buttons1", "ButtonP1_0", "two\r\nlines\nk=v;01");
  ini.WriteString("buttons1", "ButtonP1_1", "B;02");
  ini.WriteString("buttons1", "Key\nbroken", "x");
  ini.UpdateFile();

  const TIniFile again(path_);
  EXPECT_EQ(again.ReadSection("buttons1"),
            (std::vector<std::string>{"ButtonP1_0", "ButtonP1_1", "Key broken"}));
  EXPECT_EQ(again.ReadString("buttons1", "ButtonP1_0", ""), "two  lines k=v;01");
  EXPECT_EQ(again.ReadString("buttons1", "ButtonP1_1", ""), "B;02");
}

TEST_F(IniFileTest, ErasedSectionsComeBackAtTheEndWithOnlyTheNewKeys) {
  WriteFile("[buttons1]\nold=1\n[port]\nBaud=1\n[Buttons1]\nagain=2\n");
  TIniFile ini(path_);
  ini.EraseSection("BUTTONS1");
  ini.WriteString("buttons1", "ButtonP1_0", "Right-click to set;");
  EXPECT_EQ(ini.Text(), "[port]\nBaud=1\n[buttons1]\nButtonP1_0=Right-click to set;\n");
}

TEST_F(IniFileTest, AMissingFileReadsEmptyAndIsCreatedOnUpdate) {
  TIniFile ini(path_);
  EXPECT_EQ(ini.ReadString("port", "Baud", "9600"), "9600");
  ini.WriteString("port", "Baud", "9600");
  ini.UpdateFile();
  EXPECT_EQ(ReadFile(), "[port]\r\nBaud=9600\r\n");
  struct stat st {};
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST_F(IniFileTest, AFailedUpdateNamesTheFileAndLeavesNothingBehind) {
  const auto expectFailure = [](TIniFile& ini) {
    ini.WriteString("port", "Baud", "2");
    try {
      ini.UpdateFile();
      ADD_FAILURE() << "no error for " << ini.FileName();
    } catch (const EFileError& e) {
      EXPECT_EQ(std::string(e.what()), "Unable to write to " + ini.FileName());
    }
  };
  TIniFile inMissingFolder((dir_ / "gone" / "settings.ini").string());
  expectFailure(inMissingFolder);

  // The file became a folder after it was read: the temporary file must not
  // be left lying about.
  TIniFile ini(path_);
  fs::create_directories(dir_ / "settings.ini" / "inside");
  expectFailure(ini);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

// Run as an ordinary user who may write the file and its folder but not
// read the file: it reads as empty, says why, and is not replaced by a file
// holding only the program's own keys.
TEST_F(IniFileTest, AFileThatCannotBeReadIsReportedAndNeverReplaced) {
  const std::string original = "[port]\r\nBaud=19200\r\n[future]\r\nShiny=1\r\n";
  WriteFile(original);
  fs::permissions(path_, fs::perms(0222));
  fs::permissions(dir_, fs::perms(0777));
  const int result = test::RunAsOrdinaryUser([&] {
    TIniFile ini(path_);
    if (ini.ReadError() != "Unable to read " + path_ + ": Permission denied") return 1;
    if (ini.ReadString("port", "Baud", "9600") != "9600") return 2;
    ini.WriteString("port", "Baud", "9600");
    return ini.UpdateFile() ? 3 : 0;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadFile(), original);
  EXPECT_EQ(test::ModeOf(path_), 0222u);

  // A missing file is no error.
  fs::remove(path_);
  EXPECT_FALSE(TIniFile(path_).ReadError());
}

TEST_F(IniFileTest, AReadOnlyFileIsRefusedAndKeptEvenForRoot) {
  WriteFile("[port]\nBaud=19200\n");
  fs::permissions(path_, fs::perms(0444));
  TIniFile ini(path_);
  ini.WriteString("port", "Baud", "9600");
  try {
    ini.UpdateFile();
    ADD_FAILURE() << "a read-only file was written";
  } catch (const EFileError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + path_);
  }
  EXPECT_EQ(ReadFile(), "[port]\nBaud=19200\n");
  EXPECT_EQ(test::ModeOf(path_), 0444u);
}

TEST_F(IniFileTest, ARewriteKeepsTheModeAndWritesThroughALink) {
  const std::string target = (dir_ / "real.ini").string();
  test::WriteFile(target, "[port]\nBaud=19200\n");
  fs::permissions(target, fs::perms(0600));
  fs::create_symlink(target, path_);
  TIniFile ini(path_);
  ini.WriteString("port", "Baud", "4800");
  EXPECT_TRUE(ini.UpdateFile());
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(test::ReadFile(target), "[port]\nBaud=4800\n");
  EXPECT_EQ(test::ModeOf(target), 0600u);
}

// Settings brought from Windows: the caption "Kanäl" as the byte E4.
TEST_F(IniFileTest, AWindows1252FileKeepsItsLettersAndItsBytes) {
  WriteFile("[buttons1]\r\nButtonP1_0=Kan\xE4l;01 02\r\n[port]\r\nBaud=9600\r\n");
  TIniFile ini(path_);
  EXPECT_EQ(ini.Encoding(), TextEncoding::Windows1252);
  EXPECT_EQ(ini.ReadString("buttons1", "ButtonP1_0", ""), "Kan\xC3\xA4l;01 02");
  ini.WriteString("port", "Baud", "4800");
  ini.WriteString("port", "Bits", "\xC3\xA9");  // é has a Windows-1252 byte
  ini.UpdateFile();
  EXPECT_EQ(ReadFile(),
            "[buttons1]\r\nButtonP1_0=Kan\xE4l;01 02\r\n[port]\r\nBaud=4800\r\nBits=\xE9\r\n");

  // A letter the code page lacks turns the file into UTF-8, which keeps both.
  TIniFile again(path_);
  again.WriteString("port", "Bits", "\xCE\xA9");
  again.UpdateFile();
  const TIniFile utf8(path_);
  EXPECT_EQ(utf8.Encoding(), TextEncoding::Utf8);
  EXPECT_EQ(utf8.ReadString("buttons1", "ButtonP1_0", ""), "Kan\xC3\xA4l;01 02");
  EXPECT_EQ(utf8.ReadString("port", "Bits", ""), "\xCE\xA9");
}

TEST_F(IniFileTest, MarkedAndUtf16FilesAreReadAndComeBackByteForByte) {
  const std::string utf16le("\xFF\xFE[\0p\0]\0\r\0\n\0k\0=\0\xE4\0\r\0\n\0", 22);
  const std::string utf16be("\xFE\xFF\0[\0p\0]\0\r\0\n\0k\0=\0\xE4\0\r\0\n", 22);
  for (const std::string& bytes :
       {std::string("\xEF\xBB\xBF[p]\r\nk=\xC3\xA4\r\n"), utf16le, utf16be}) {
    WriteFile(bytes);
    TIniFile ini(path_);
    EXPECT_EQ(ini.ReadString("p", "k", ""), "\xC3\xA4");
    EXPECT_EQ(ini.Sections(), std::vector<std::string>{"p"}) << "the mark is no part of a name";
    ini.UpdateFile();
    EXPECT_EQ(ReadFile(), bytes);
    // A changed value is written in the file's own encoding.
    ini.WriteString("p", "k", "\xC3\xA4");
    ini.WriteString("q", "n", "1");
    ini.UpdateFile();
    const TIniFile again(path_);
    EXPECT_EQ(again.Encoding(), ini.Encoding());
    EXPECT_EQ(again.Sections(), (std::vector<std::string>{"p", "q"}));
    EXPECT_EQ(again.ReadString("p", "k", ""), "\xC3\xA4");
  }
}

TEST_F(IniFileTest, EveryLineEndEndsALineAndNoCrReachesAValue) {
  // A file converted twice (CR CR LF) and one with lone CRs.
  for (const std::string end : {"\r\r\n", "\r"}) {
    const std::string bytes = "; kept" + end + "[port]" + end + "Baud=4800" + end + "[log]" + end +
                              "receive=0" + end + "junk";
    WriteFile(bytes);
    TIniFile ini(path_);
    EXPECT_EQ(ini.ReadString("port", "Baud", ""), "4800");
    EXPECT_FALSE(ini.ReadBool("log", "receive", true));
    EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"port", "log"}));
    ini.UpdateFile();
    EXPECT_EQ(ReadFile(), bytes);
    // New lines take the file's own line end; the last line gets one.
    ini.WriteString("log", "tofile", "1");
    EXPECT_EQ(ini.Text(), "; kept" + end + "[port]" + end + "Baud=4800" + end + "[log]" + end +
                              "receive=0" + end + "junk" + end + "tofile=1" + end);
  }
  // Mixed line ends: each line keeps its own.
  WriteFile("[a]\nx=1\r\ny=2\rz=3\r\n");
  TIniFile mixed(path_);
  mixed.WriteString("a", "y", "5");
  mixed.WriteString("a", "w", "6");
  EXPECT_EQ(mixed.Text(), "[a]\nx=1\r\ny=5\rz=3\r\nw=6\r\n");
}

TEST(UnstorableField, ASemicolonCannotBeStoredInACaption) {
  EXPECT_FALSE(UnstorableFieldMessage("Kan\xC3\xA4l 1", "caption"));
  EXPECT_EQ(UnstorableFieldMessage("a;b", "caption"),
            "The character \";\" cannot be stored in a caption: the settings file uses it to end "
            "the caption.");
}

}  // namespace
}  // namespace kestrune
