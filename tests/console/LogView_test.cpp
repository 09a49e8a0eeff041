// The log view: following the newest line, selection and Copy, Find, and
// from the window the find bar, notes and Clear.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include "console/ConsoleLog.h"
#include "console/DialogSeam.h"
#include "console/LogFindBar.h"
#include "console/LogView.h"
#include "tests/support/Window.h"

namespace kestrune::test {
namespace {

void AppendNumbered(LogView& view, int first, int count) {
  std::vector<std::string> texts;
  for (int i = first; i < first + count; ++i) texts.push_back("line " + std::to_string(i));
  view.Append(std::vector<std::string_view>(texts.begin(), texts.end()));
}

class LogViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    view_.resize(400, 200);
    view_.show();
  }
  int TopRow() const { return view_.rowAt(0); }
  int BottomRow() const { return view_.rowAt(view_.viewport()->height() - 1); }

  // The application exists before the view (a test may run alone).
  struct Application {
    Application() { EnsureApplication(); }
  } application_;
  LogView view_;
};

TEST_F(LogViewTest, FollowsTheNewestLineAtTheBottomAndStaysPutWhenScrolledUp) {
  AppendNumbered(view_, 0, 500);
  EXPECT_EQ(BottomRow(), 499);

  view_.verticalScrollBar()->setValue(100);
  const int top = TopRow();
  AppendNumbered(view_, 500, 500);
  QCoreApplication::processEvents();  // the view's own delayed layout
  EXPECT_EQ(TopRow(), top);

  view_.scrollToBottom();
  AppendNumbered(view_, 1000, 10);
  EXPECT_EQ(BottomRow(), 1009);
  EXPECT_EQ(view_.LineText(1009), "line 1009");
}

TEST_F(LogViewTest, CopyGivesTheSelectedLinesAsText) {
  view_.Append({"alpha", "beta", "gamma", "delta"});
  view_.setFocus();
  view_.setCurrentIndex(view_.model()->index(1, 0));
  QTest::keyClick(&view_, Qt::Key_Down, Qt::ShiftModifier);
  QTest::keyClick(&view_, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "beta\ngamma\n");

  view_.selectAll();
  EXPECT_EQ(view_.SelectedText(), "alpha\nbeta\ngamma\ndelta\n");
}

TEST_F(LogViewTest, FindSelectsTheNextAndPreviousMatchAndWrapsRound) {
  view_.Append({"one", "a Port here", "two", "port again", "PORT", "three"});
  const auto findRow = [&](const QString& text, bool matchCase, LogView::Direction direction) {
    return view_.Find(text, matchCase, direction) ? view_.currentIndex().row() : -1;
  };
  const auto next = LogView::Direction::Next;
  EXPECT_EQ(findRow("port", false, next), 1);
  ASSERT_TRUE(view_.CurrentMatch());
  EXPECT_EQ(view_.CurrentMatch()->Start, 2);
  EXPECT_EQ(view_.CurrentMatch()->Length, 4);
  EXPECT_EQ(view_.SelectedText(), "a Port here\n");
  EXPECT_EQ(findRow("port", false, next), 3);
  EXPECT_EQ(findRow("port", false, next), 4);
  EXPECT_EQ(findRow("port", false, next), 1);  // round from the end
  EXPECT_EQ(findRow("port", false, LogView::Direction::Previous), 4);
  EXPECT_EQ(findRow("port", true, next), 3);
  EXPECT_EQ(findRow("port", true, next), 3);  // the only one
  EXPECT_EQ(findRow("harbour", false, next), -1);
  EXPECT_FALSE(view_.CurrentMatch());
}

class LogWindowTest : public WindowTest {
 protected:
  void TearDown() override { SetTextSink({}); }
};

TEST_F(LogWindowTest, FindBarNotesAndClearFromTheWindow) {
  auto form = StartWithoutDevice("[log]\ntofile=1\n");
  LogView& view = *form->MemoLog;
  ASSERT_TRUE(WaitForViewLine(*form, "Port closed"));
  form->activateWindow();  // shortcuts reach the active window only
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));

  // Ctrl+F opens the bar; Enter and F3 find, a text nowhere says so.
  QTest::keyClick(form.get(), Qt::Key_F, Qt::ControlModifier);
  ASSERT_TRUE(form->LogFind->isVisible());
  EXPECT_TRUE(form->LogFind->Text->hasFocus());
  QTest::keyClicks(form->LogFind->Text, "cannot open");
  QTest::keyClick(form->LogFind->Text, Qt::Key_Return);
  EXPECT_EQ(view.currentIndex().row(), 1);
  // A button's shortcut presses it visibly, the click comes a moment later.
  QTest::keyClick(form->LogFind->Text, Qt::Key_F3);
  EXPECT_TRUE(QTest::qWaitFor([&] { return view.currentIndex().row() == 2; }));
  QTest::keyClick(form->LogFind->Text, Qt::Key_F3, Qt::ShiftModifier);
  EXPECT_TRUE(QTest::qWaitFor([&] { return view.currentIndex().row() == 1; }));
  form->LogFind->MatchCase->setChecked(true);
  EXPECT_FALSE(form->LogFind->FindNext());
  EXPECT_EQ(form->LogFind->Result->text(), "No match");
  QTest::keyClick(form->LogFind->Text, Qt::Key_Escape);
  EXPECT_FALSE(form->LogFind->isVisible());

  // Ctrl+M: the note goes through LogLine, time-stamped, into view and file;
  // a line break in it does not split the log line.
  QString asked;
  SetTextSink([&](const QString& label) {
    asked = label;
    return std::optional<QString>("antenna\nchanged");
  });
  QTest::keyClick(form.get(), Qt::Key_M, Qt::ControlModifier);
  EXPECT_FALSE(asked.isEmpty());
  const QString lastLine = ViewLines(*form).last();
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d  note: antenna changed$"))
                  .match(lastLine)
                  .hasMatch())
      << lastLine.toStdString();
  EXPECT_NE(ReadLogFile().find(lastLine.toStdString() + "\r\n"), std::string::npos);
  SetTextSink([](const QString&) { return std::nullopt; });  // cancelled: nothing logged
  form->LogAddNoteAction->trigger();
  EXPECT_EQ(ViewLines(*form).last(), lastLine);

  // Assistive tools read the lines.
  QAccessibleInterface* log = QAccessible::queryAccessibleInterface(&view);
  ASSERT_NE(log->tableInterface(), nullptr);
  EXPECT_EQ(log->text(QAccessible::Name), "Log");
  EXPECT_EQ(log->tableInterface()->rowCount(), view.Model().rowCount());
  EXPECT_EQ(log->tableInterface()->cellAt(view.Model().rowCount() - 1, 0)->text(QAccessible::Name),
            lastLine);

  // The menu key opens the menu with Clear, Copy, Select all, Find and Add note.
  QTimer::singleShot(0, form.get(), [&] {
    QStringList items;
    for (QAction* item : form->PopupMenuLog->actions())
      if (!item->isSeparator()) items.append(item->text());
    EXPECT_EQ(items, (QStringList{"Clear", "Copy", "Select all", "Find…", "Add note…"}));
    EXPECT_TRUE(form->PopupMenuLog->isVisible());
    form->PopupMenuLog->hide();
  });
  QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(1, 1),
                            view.viewport()->mapToGlobal(QPoint(1, 1)));
  QApplication::sendEvent(view.viewport(), &menuKey);
  QCoreApplication::processEvents();

  // Clear empties the view, not the file.
  form->NLogClear->trigger();
  EXPECT_EQ(view.Model().rowCount(), 0);
  EXPECT_NE(ReadLogFile().find("note: antenna changed"), std::string::npos);
}

}  // namespace
}  // namespace kestrune::test
