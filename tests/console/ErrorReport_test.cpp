// The general error report: the text it shows, the box it shows it in, and
// an error ending only the handler it escapes from.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "console/ErrorReport.h"
#include "console/core/IntConv.h"
#include "tests/support/Window.h"

namespace kestrune::test {
namespace {

TEST(ErrorReportTest, AFullStopFollowsALastCharacterAboveTheFullStop) {
  EXPECT_EQ(ErrorReportText(""), "");
  EXPECT_EQ(ErrorReportText("Port is busy"), "Port is busy.");
  EXPECT_EQ(ErrorReportText("0"), "0.");
  EXPECT_EQ(ErrorReportText("logs/"), "logs/.");  // '/' is 47
  EXPECT_EQ(ErrorReportText(QStringLiteral("caf\u00E9")), QStringLiteral("caf\u00E9."));
  // 46 and below: the full stop itself, '-', ')', '!', a space.
  EXPECT_EQ(ErrorReportText("Done."), "Done.");
  EXPECT_EQ(ErrorReportText("range 1-"), "range 1-");
  EXPECT_EQ(ErrorReportText("(COM1)"), "(COM1)");
  EXPECT_EQ(ErrorReportText("failed!"), "failed!");
  EXPECT_EQ(ErrorReportText("trailing "), "trailing ");
}

TEST(ErrorReportTest, TheBoxHasTheApplicationsTitleAnErrorIconAndOnlyOk) {
  EnsureApplication();
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  bool seen = false;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) {  // close whatever came up, so the test fails instead of hanging
      for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* other = qobject_cast<QMessageBox*>(window)) other->done(0);
      return;
    }
    seen = true;
    title = box->windowTitle();
    text = box->text();
    icon = box->icon();
    buttons = box->standardButtons();
    box->button(QMessageBox::Ok)->click();
  });
  ShowErrorReport("''9k6'' is not a valid integer value");
  ASSERT_TRUE(seen);
  EXPECT_EQ(title, QApplication::applicationDisplayName());
  EXPECT_EQ(title, "Kestrune");
  EXPECT_EQ(text, "''9k6'' is not a valid integer value.");
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

TEST(ErrorReportTest, AnErrorEndsItsHandlerOnlyAndTheProgramGoesOn) {
  EnsureApplication();
  RecordedErrors errors;
  bool rest = false;
  Guarded([&] {
    (void)StrToInt("abc");
    rest = true;
  });
  EXPECT_FALSE(rest);
  EXPECT_EQ(errors.Texts(), QStringList{"''abc'' is not a valid integer value."});

  Guarded([&] { rest = true; });
  EXPECT_TRUE(rest);
  EXPECT_EQ(errors.Texts().size(), 1);
}

}  // namespace
}  // namespace kestrune::test
