// The "Custom" page driven as the operator drives it: the script run from
// its button against the simulated radio, the window closed during a run,
// and "CustomPackets.txt" kept in the working directory in its own encoding.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <filesystem>

#include "tests/support/Window.h"

namespace kestrune::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

const Bytes kEntryRequest{0x00, 0x12, 0x01, 0x06, 0x02};

// Log lines without the packet dumps.
QStringList ScriptLines(const QStringList& lines) {
  QStringList script;
  for (const QString& line : lines)
    if (!line.contains("  |  ")) script.append(line);
  return script;
}

// The script exactly as the memo holds it, no-break spaces included.
QString MemoText(const TForm1& form) {
  return form.MemoCustomPacket->document()->toRawText().replace(QChar::ParagraphSeparator, u'\n');
}

std::string Utf16LeWithMark(const QString& text) {
  std::string bytes = "\xFF\xFE";
  for (const QChar c : text) {
    bytes += static_cast<char>(c.unicode() & 0xFF);
    bytes += static_cast<char>(c.unicode() >> 8);
  }
  return bytes;
}

class CustomPageTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    previousDir_ = fs::current_path();
    fs::current_path(work_.Path());
  }
  void TearDown() override { fs::current_path(previousDir_); }

  // Clicks the button; `during` runs inside the run's first exchange.
  static void RunScript(TForm1& form, const std::function<void()>& during) {
    bool ran = false;
    QTimer::singleShot(0, &form, [&] {
      during();
      ran = true;
    });
    QTest::mouseClick(form.ButtonSendCustomPacket, Qt::LeftButton);
    EXPECT_TRUE(ran);
  }

  ScratchDir work_;  // the working directory
  fs::path previousDir_;
};

TEST_F(CustomPageTest, ThePageHoldsTheScriptAndItsButtonAndNeedsAnOpenPort) {
  auto form = StartWithoutDevice();
  ASSERT_GE(form->PageControl2->count(), 6);
  EXPECT_EQ(form->PageControl2->tabText(5), "Custom");
  EXPECT_EQ(form->PageControl2->widget(5), form->TabSheetCmd6);
  EXPECT_TRUE(form->TabSheetCmd6->isAncestorOf(form->MemoCustomPacket));
  EXPECT_EQ(form->MemoCustomPacket->toolTip(), "supported: sb9600, sbep X, delay Xms, bytes");
  EXPECT_EQ(form->MemoCustomPacket->toolTipDuration(), 10000);
  EXPECT_EQ(form->MemoCustomPacket->lineWrapMode(), QPlainTextEdit::NoWrap);
  EXPECT_EQ(form->ButtonSendCustomPacket->text(), "Send custom packets");

  form->MemoCustomPacket->setPlainText("sbep 1");
  QTest::mouseClick(form->ButtonSendCustomPacket, Qt::LeftButton);
  EXPECT_EQ(ViewTexts(*form).last(), "Port is not open");
  EXPECT_TRUE(form->ButtonSendCustomPacket->isEnabled());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(CustomPageTest, ARunDisablesTheButtonShowsTheBusyCursorAndReadsEachLineInItsTurn) {
  auto form = Start();
  ASSERT_NE(form->fSb9600, nullptr);
  form->MemoCustomPacket->setPlainText("sbep 1\nF5 11 02 00 00 02 00\nsb9600");
  const int before = ViewTexts(*form).size();

  RunScript(*form, [&] {
    EXPECT_FALSE(form->ButtonSendCustomPacket->isEnabled());
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    // The second line has not been read yet: the edit counts.
    form->MemoCustomPacket->setPlainText("sbep 1\nF5 11 02 00 00 04 00\nsb9600");
  });

  EXPECT_TRUE(form->ButtonSendCustomPacket->isEnabled());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  Bytes expected = kEntryRequest;
  for (const uint8_t b : {0xF5, 0x11, 0x02, 0x00, 0x00, 0x04, 0xF3}) expected.push_back(b);
  EXPECT_EQ(bus_.Received(), expected);
  EXPECT_EQ(ScriptLines(ViewTexts(*form).mid(before)),
            (QStringList{"SBEP mode: success", "leaving SBEP mode", "leaving SBEP mode"}));
  EXPECT_TRUE(errors_.Texts().isEmpty());
}

TEST_F(CustomPageTest, LinesTypedWithShiftEnterRunAsSeparateLinesAndAreSavedSo) {
  auto form = Start();
  ASSERT_NE(form->fSb9600, nullptr);
  form->MemoCustomPacket->setFocus();
  QTest::keyClicks(form->MemoCustomPacket, "sbep 1");
  QTest::keyClick(form->MemoCustomPacket, Qt::Key_Return, Qt::ShiftModifier);
  QTest::keyClicks(form->MemoCustomPacket, "F5 11 02 00 00 02 00");
  QTest::keyClick(form->MemoCustomPacket, Qt::Key_Return, Qt::ShiftModifier);
  QTest::keyClicks(form->MemoCustomPacket, "sb9600");
  ASSERT_EQ(form->MemoCustomPacket->document()->blockCount(), 1) << "one paragraph, three lines";
  const int before = ViewTexts(*form).size();

  QTest::mouseClick(form->ButtonSendCustomPacket, Qt::LeftButton);
  Bytes expected = kEntryRequest;
  for (const uint8_t b : {0xF5, 0x11, 0x02, 0x00, 0x00, 0x02, 0xF5}) expected.push_back(b);
  EXPECT_EQ(bus_.Received(), expected);
  EXPECT_EQ(ScriptLines(ViewTexts(*form).mid(before)),
            (QStringList{"SBEP mode: success", "leaving SBEP mode", "leaving SBEP mode"}));

  form.reset();
  EXPECT_EQ(work_.Read("CustomPackets.txt"), "sbep 1\r\nF5 11 02 00 00 02 00\r\nsb9600");
}

TEST_F(CustomPageTest, ClosingTheWindowDuringARunStopsItBeforeItsNextLine) {
  auto form = Start("[log]\ntofile=1\n");
  ASSERT_NE(form->fSb9600, nullptr);
  const QString script = "sbep 1\nF5 11 02 00 00 02 00\ndelay 60000\nsb9600";
  form->MemoCustomPacket->setPlainText(script);

  RunScript(*form, [&] { form->close(); });

  EXPECT_TRUE(TForm1::AppClosing());
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(bus_.Received(), kEntryRequest);  // nothing after the line it was in
  EXPECT_TRUE(form->ButtonSendCustomPacket->isEnabled());

  form.reset();
  QStringList fileLines;
  for (const QString& line :
       QString::fromStdString(ReadLogFile()).split("\r\n", Qt::SkipEmptyParts))
    fileLines.append(line.mid(10));
  const QStringList tail =
      ScriptLines(fileLines).mid(ScriptLines(fileLines).indexOf("SBEP mode: success"));
  EXPECT_EQ(tail, (QStringList{"SBEP mode: success", "leaving SBEP mode", "Port closed"}));
  // The program ended normally: the script and the settings were written.
  EXPECT_EQ(work_.Read("CustomPackets.txt"),
            "sbep 1\r\nF5 11 02 00 00 02 00\r\ndelay 60000\r\nsb9600");
  EXPECT_TRUE(fs::exists(dir_.Path() / "settings.ini"));
  EXPECT_TRUE(errors_.Texts().isEmpty());
}

TEST_F(CustomPageTest, TheScriptFileLivesInTheWorkingDirectoryAndKeepsItsEncodingByteForByte) {
  const QString text = QString::fromUtf8("sbep 1\n# caf\u00E9 \u00A0\u20AC\n\ndelay 10\n");
  const QByteArray utf8 = text.toUtf8().replace("\n", "\r\n");
  const struct {
    const char* name;
    std::string bytes;
    QString text;
  } files[] = {
      {"UTF-8", utf8.toStdString(), text},
      {"UTF-8 with its mark", "\xEF\xBB\xBF" + utf8.toStdString(), text},
      {"UTF-16 LE with its mark", Utf16LeWithMark(QString(text).replace("\n", "\r\n")), text},
      {"Windows-1252", "sbep 1\r\n# caf\xE9 \xA0\x80\r\n\r\ndelay 10\r\n", text},
      {"no line end at the end", "sbep 1\r\ndelay 10", "sbep 1\ndelay 10"},
  };
  dir_.Write("CustomPackets.txt", "not this one");
  for (const auto& file : files) {
    work_.Write("CustomPackets.txt", file.bytes);
    auto form = StartWithoutDevice();
    EXPECT_EQ(MemoText(*form), file.text) << file.name;
    form.reset();
    EXPECT_EQ(work_.Read("CustomPackets.txt"), file.bytes) << file.name;
  }
  EXPECT_EQ(dir_.Read("CustomPackets.txt"), "not this one");
  EXPECT_TRUE(errors_.Texts().isEmpty());
}

TEST_F(CustomPageTest, WithoutAFileTheScriptIsEmptyAndTheCloseWritesItAsUtf8) {
  auto form = StartWithoutDevice();
  EXPECT_TRUE(form->MemoCustomPacket->toPlainText().isEmpty());
  form->MemoCustomPacket->setPlainText(QString::fromUtf8("sbep 1\n# \u2192 tune"));
  form.reset();
  EXPECT_EQ(work_.Read("CustomPackets.txt"), "sbep 1\r\n# \xE2\x86\x92 tune");
}

TEST_F(CustomPageTest, FilesThatCannotBeReadOrWrittenAreReportedAndNothingIsLost) {
  // A folder where the file should be: it cannot be read, so it is left alone.
  fs::create_directory(work_.Path() / "CustomPackets.txt");
  auto form = StartWithoutDevice();
  const std::string path = (work_.Path() / "CustomPackets.txt").string();
  EXPECT_EQ(errors_.Texts(),
            QStringList{QString::fromStdString("Unable to read " + path + ": Is a directory.")});
  form.reset();
  EXPECT_EQ(errors_.Texts().size(), 1);
  EXPECT_TRUE(fs::is_directory(path));

  // A working directory the operator made read-only: the settings are
  // written, the script's failure is reported.
  fs::remove(path);
  form = StartWithoutDevice();
  form->MemoCustomPacket->setPlainText("sbep 1");
  fs::permissions(work_.Path(), fs::perms::owner_read | fs::perms::owner_exec);
  form.reset();
  fs::permissions(work_.Path(), fs::perms::owner_all);
  EXPECT_EQ(errors_.Texts().mid(1),
            QStringList{QString::fromStdString("Unable to write to " + path + ".")});
  EXPECT_FALSE(fs::exists(path));
  EXPECT_TRUE(fs::exists(dir_.Path() / "settings.ini"));
}

TEST_F(CustomPageTest, TheScriptIsSavedWhenTheSettingsFileCannotBe) {
  auto form = StartWithoutDevice();
  form->MemoCustomPacket->setPlainText("sbep 1\nsb9600");
  const fs::path settings = dir_.Path() / "settings.ini";
  const std::string settingsBefore = dir_.Read("settings.ini");
  fs::permissions(settings, fs::perms::owner_read);
  form.reset();
  fs::permissions(settings, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(errors_.Texts(),
            QStringList{QString::fromStdString("Unable to write to " + settings.string() + ".")});
  EXPECT_EQ(dir_.Read("settings.ini"), settingsBefore);
  EXPECT_EQ(work_.Read("CustomPackets.txt"), "sbep 1\r\nsb9600");
}

}  // namespace
}  // namespace kestrune::test
