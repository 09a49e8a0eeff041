// The radio as the simulator program on a link path: killing it is the
// adapter unplugged, starting it again on the same path the adapter back.
#include <gtest/gtest.h>
#include <signal.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/Process.h"
#include "tests/support/Window.h"

namespace kestrune {
namespace {

using namespace test;
namespace fs = std::filesystem;

int CountStartingWith(const QStringList& lines, const QString& start) {
  return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                        [&](const QString& s) { return s.startsWith(start); }));
}

// The byte counts of the "RX(n)" dump lines.
int ReceivedBytes(const QStringList& lines) {
  int bytes = 0;
  for (const QString& line : lines)
    if (line.startsWith(QStringLiteral("RX(")))
      bytes += line.mid(3, line.indexOf(u')') - 3).toInt();
  return bytes;
}

class ReconnectTest : public WindowTest {
 protected:
  std::unique_ptr<Process> StartRadio() {
    const fs::path out = dir_.Path() / ("sim-" + std::to_string(++starts_) + ".txt");
    auto sim = std::make_unique<Process>(
        std::vector<std::string>{KESTRUNE_SIM_PROGRAM, "--quiet", "--link", link_.string()},
        ProcessIo{dir_.Path(), {}, out, {}, {}});
    // Its first line names the link, once the link is there.
    EXPECT_TRUE(WaitForText(out, link_.string(), kProgramPatience)) << ReadFile(out);
    return sim;
  }

  bool WaitForState(const TForm1& form, TForm1::LineState state) {
    return QTest::qWaitFor([&] { return form.CurrentLineState() == state; },
                           static_cast<int>(kProgramPatience.count()));
  }

  const fs::path link_ = dir_.Path() / "radio";
  int starts_ = 0;
};

TEST_F(ReconnectTest, AnUnpluggedRadioIsRefusedWaitedForAndReopenedWhenItComesBack) {
  auto sim = StartRadio();
  dir_.Write("settings.ini", "[devices]\nCOM1=" + link_.string() +
                                 "\n[log]\ntransmit=1\nreceive=1\n[buttons1]\nButtonP1_0=Mute;" +
                                 AsCommand(AudioMuteFrame()).toStdString() + "\n");
  auto form = OpenWindow();
  ASSERT_NE(form->fSb9600, nullptr);
  const QString line = QStringLiteral("COM1 → ") + QPathOf(link_);
  EXPECT_EQ(form->StatusPanelLine->text(), line + " open");
  EXPECT_EQ(form->StatusPanelLine->accessibleDescription(), line + " open");
  EXPECT_EQ(form->StatusPanelLine->accessibleName(), "Line state");
  EXPECT_TRUE(form->CheckBoxPortReopen->isChecked());

  sim->Signal(SIGKILL);
  sim->Wait();
  // An unplugged adapter's device node goes with it. The killed simulator
  // leaves its link behind, pointing at a pty number that another test's
  // pty may take next, so remove it before the window sees the hang-up.
  fs::remove(link_);
  ASSERT_TRUE(WaitForState(*form, TForm1::LineState::Waiting));
  EXPECT_EQ(form->StatusPanelLine->text(), line + " unplugged — waiting for it");
  ASSERT_TRUE(
      WaitForViewLine(*form, "PORT_ERROR_HANGUP 5 : \"Input/output error\"", kProgramPatience));
  EXPECT_EQ(CountStartingWith(ViewTexts(*form), "PORT_ERROR_HANGUP"), 1);

  // Nothing is sent (no TX dump), and one line says why.
  const int beforePress = static_cast<int>(ViewTexts(*form).size());
  QTest::mouseClick(form->CommandButton(1, 0), Qt::LeftButton);
  EXPECT_EQ(ViewTexts(*form).mid(beforePress), QStringList{"COM1 is unplugged"});

  sim = StartRadio();
  ASSERT_TRUE(WaitForState(*form, TForm1::LineState::Open));
  EXPECT_EQ(ViewTexts(*form).last(), "Port COM1 is open");
  EXPECT_EQ(form->StatusPanelLine->text(), line + " open");

  // The same button now gets its five-byte echo back, in however many reads.
  const int beforeExchange = static_cast<int>(ViewTexts(*form).size());
  QTest::mouseClick(form->CommandButton(1, 0), Qt::LeftButton);
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return ReceivedBytes(ViewTexts(*form).mid(beforeExchange)) >= 5; },
                      static_cast<int>(kProgramPatience.count())))
      << ViewTexts(*form).join(u'\n').toStdString();
  EXPECT_EQ(CountStartingWith(ViewTexts(*form).mid(beforeExchange), "TX(5)"), 1);
  EXPECT_EQ(CountStartingWith(ViewTexts(*form), "PORT_ERROR_HANGUP"), 1);
  sim->Signal(SIGTERM);
  EXPECT_NE(sim->Wait(), -1);
}

// A device that comes back but cannot be opened (here a folder where the
// device should be) is tried at each change to it, as udev sets a node's
// group and mode just after making it; the failure is logged once for each
// return, and the console keeps waiting.
TEST_F(ReconnectTest, ADeviceThatReturnsButIsRefusedIsLoggedOncePerReturn) {
  auto sim = StartRadio();
  dir_.Write("settings.ini", "[devices]\nCOM1=" + link_.string() + "\n");
  auto form = OpenWindow();
  ASSERT_NE(form->fSb9600, nullptr);
  sim->Signal(SIGKILL);
  sim->Wait();
  fs::remove(link_);
  ASSERT_TRUE(WaitForState(*form, TForm1::LineState::Waiting));
  // A failed open's lines: "Cannot open COM1 <errno> : …", "Cannot open COM1", "Port closed".
  const auto failures = [&] {
    return static_cast<int>(ViewTexts(*form).count("Cannot open COM1"));
  };
  EXPECT_EQ(failures(), 0);

  fs::create_directory(link_);
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return failures() == 1; }, static_cast<int>(kProgramPatience.count())))
      << ViewTexts(*form).join(u'\n').toStdString();
  // Its mode changes, twice: tried again each time, quietly. (The window
  // sees each change before the next when events are served in between;
  // if they come together, they are one change.)
  for (const fs::perms mode : {fs::perms::owner_all, fs::perms::all}) {
    fs::permissions(link_, mode);
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
  }
  // Gone and back (however the two changes come in): a new return.
  fs::remove(link_);
  fs::create_directory(link_);
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return failures() >= 2; }, static_cast<int>(kProgramPatience.count())))
      << ViewTexts(*form).join(u'\n').toStdString();
  EXPECT_EQ(form->CurrentLineState(), TForm1::LineState::Waiting);

  // The real device back: open, and every change before it has been seen.
  fs::remove(link_);
  sim = StartRadio();
  ASSERT_TRUE(WaitForState(*form, TForm1::LineState::Open));
  EXPECT_EQ(ViewTexts(*form).last(), "Port COM1 is open");
  EXPECT_EQ(failures(), 2) << ViewTexts(*form).join(u'\n').toStdString();
  sim->Signal(SIGTERM);
  EXPECT_NE(sim->Wait(), -1);
}

// Without the check box the console says the line is gone and stays so.
TEST_F(ReconnectTest, WithoutReopeningTheLineStaysUnpluggedUntilApply) {
  auto sim = StartRadio();
  dir_.Write("settings.ini", "[devices]\nCOM1=" + link_.string() + "\n[port]\nreopen=0\n");
  auto form = OpenWindow();
  ASSERT_NE(form->fSb9600, nullptr);
  EXPECT_FALSE(form->CheckBoxPortReopen->isChecked());
  sim->Signal(SIGKILL);
  sim->Wait();
  ASSERT_TRUE(WaitForState(*form, TForm1::LineState::Unplugged));
  EXPECT_EQ(form->StatusPanelLine->text(),
            QStringLiteral("COM1 → ") + QPathOf(link_) + " unplugged");

  sim = StartRadio();
  QTest::mouseClick(form->ButtonPortApply, Qt::LeftButton);
  EXPECT_EQ(form->CurrentLineState(), TForm1::LineState::Open);
  EXPECT_EQ(ViewTexts(*form).last(), "Port COM1 is open");
  sim->Signal(SIGTERM);
  EXPECT_NE(sim->Wait(), -1);
}

}  // namespace
}  // namespace kestrune
