// The text of log lines and packet dumps, and the log view feed.
#include <gtest/gtest.h>

#include <QTest>
#include <thread>

#include "console/LogView.h"
#include "console/LogViewFeed.h"
#include "console/core/LogFile.h"
#include "console/core/LogText.h"
#include "tests/support/Window.h"

namespace kestrune::test {
namespace {

using Lines = std::vector<std::string>;

Lines Dump(const std::vector<uint8_t>& bytes, const std::string& dir, const std::string& sig) {
  return FormatDumpLines(bytes.data(), int32_t(bytes.size()), dir, sig);
}

TEST(LogTextTest, ALineIsTheTimeTwoSpacesAndTheText) {
  EXPECT_EQ(FormatLogLine("09:05:01", "Port COM1 is open"), "09:05:01  Port COM1 is open");
  EXPECT_EQ(FormatLogLine("23:59:59", ""), "23:59:59  ");
}

TEST(LogTextTest, DumpsShowSixteenBytesPerLineWithTheirCharacters) {
  EXPECT_EQ(Dump({0x01, 0x02, 0x41, 0x42, 0xFF}, "TX", ""),
            Lines{"TX(5) 01 02 41 42 FF   |  ??AB?"});

  std::vector<uint8_t> seventeen;
  for (int i = 0; i < 17; ++i) seventeen.push_back(uint8_t(0x30 + i));
  const Lines lines = Dump(seventeen, "RX", "");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0],
            "RX(17) 30 31 32 33 34 35 36 37 38 39 3A 3B 3C 3D 3E 3F   |  0123456789:;<=>?");
  EXPECT_EQ(lines[1], "40   |  @");

  seventeen.pop_back();
  EXPECT_EQ(Dump(seventeen, "RX", "").size(), 1u);
}

TEST(LogTextTest, OnlyPrintableBytesUpTo7FShowAsThemselves) {
  EXPECT_EQ(Dump({0x1F, 0x20, 0x7E, 0x7F, 0x80, 0x00}, "RX", ""),
            Lines{"RX(6) 1F 20 7E 7F 80 00   |  ? ~\x7F??"});
}

TEST(LogTextTest, TheDescriptionEndsEveryLine) {
  const Lines lines = Dump(std::vector<uint8_t>(20, 0x41), "RX", "CHANNEL NUMBER");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(lines[0].size() - 18), "    CHANNEL NUMBER");
  EXPECT_EQ(lines[1], "41 41 41 41   |  AAAA    CHANNEL NUMBER");
}

TEST(LogTextTest, NoBytesOrANegativeLengthGiveNoLines) {
  EXPECT_TRUE(Dump({}, "TX", "").empty());
  const uint8_t byte = 0x01;
  EXPECT_TRUE(FormatDumpLines(&byte, 0, "TX", "").empty());
  EXPECT_TRUE(FormatDumpLines(&byte, -5, "TX", "").empty());
}

TEST(LogFileTest, LinesAreAppendedWithCrLfAndFailuresNameTheFile) {
  const ScratchDir dir;
  const std::string path = (dir.Path() / "run.log").string();
  AppendLogFileLine(path, "one");
  AppendLogFileLine(path, "\xC3\xA9t\xC3\xA9");  // UTF-8 as it is, no byte-order mark
  EXPECT_EQ(dir.Read("run.log"), "one\r\n\xC3\xA9t\xC3\xA9\r\n");

  // A missing folder is made; a file in the folder's place cannot be.
  dir.Write("gone", "");
  const std::string missing = (dir.Path() / "gone" / "run.log").string();
  try {
    AppendLogFileLine(missing, "x");
    FAIL() << "no error";
  } catch (const EFileError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + missing + "\". Not a directory");
  }
  std::filesystem::create_directory(dir.Path() / "adir");
  try {
    AppendLogFileLine((dir.Path() / "adir").string(), "x");
    FAIL() << "no error";
  } catch (const EFileError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"", 0), 0u) << e.what();
  }
}

TEST(LogViewFeedTest, LinesFromAnotherThreadArriveInOrderWithoutWaitingForTheGuiThread) {
  EnsureApplication();
  LogView view;
  TLogViewFeed feed(&view);
  const auto rows = [&] { return view.Model().rowCount(); };

  feed.Post("first");
  ASSERT_EQ(rows(), 1);  // the GUI thread's lines show at once
  EXPECT_EQ(view.LineText(0), "first");

  // The sender finishes although the GUI thread serves no events meanwhile.
  std::thread([&] {
    for (int i = 0; i < 1000; ++i) feed.Post(std::to_string(i));
  }).join();
  EXPECT_EQ(rows(), 1);

  // A GUI-thread line takes the pending ones along, in order.
  feed.Post("last");
  ASSERT_EQ(rows(), 1002);
  EXPECT_EQ(view.LineText(1), "0");
  EXPECT_EQ(view.LineText(1000), "999");
  EXPECT_EQ(view.LineText(1001), "last");

  std::thread([&] { feed.Post("later"); }).join();
  EXPECT_TRUE(QTest::qWaitFor([&] { return rows() == 1003; }));

  // A dump's lines wait for ShowPending, from whichever thread.
  feed.Post("dump 1", TLogViewFeed::Show::Later);
  feed.Post("dump 2", TLogViewFeed::Show::Later);
  EXPECT_EQ(rows(), 1003);
  feed.ShowPending();
  EXPECT_EQ(rows(), 1005);
  std::thread([&] {
    feed.Post("dump 3", TLogViewFeed::Show::Later);
    feed.ShowPending();
  }).join();
  EXPECT_TRUE(QTest::qWaitFor([&] { return rows() == 1006; }));
}

}  // namespace
}  // namespace kestrune::test
