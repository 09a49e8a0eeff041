// The main window driven as the operator drives it: start-up, port set-up,
// the log view and file, the command buttons and the Set-button dialog, and
// the settings surviving a restart.
#include <gtest/gtest.h>
#include <signal.h>

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <thread>

#include "console/ConsoleLog.h"
#include "console/QuitOnSignal.h"
#include "console/UnitSetButtons.h"
#include "console/core/IniFile.h"
#include "tests/support/Window.h"

namespace kestrune::test {
namespace {

// The bytes of the "RX" dumps in the view from line `from` on.
std::vector<uint8_t> ReceivedInView(const TForm1& form, int from) {
  std::vector<uint8_t> bytes;
  for (const QString& line : ViewTexts(form).mid(from)) {
    if (!line.startsWith("RX(")) continue;
    const QString hex = line.section(u')', 1).section(QStringLiteral("  |  "), 0, 0);
    for (const QString& token : hex.split(u' ', Qt::SkipEmptyParts))
      bytes.push_back(uint8_t(token.toUInt(nullptr, 16)));
  }
  return bytes;
}

class MainWindowTest : public WindowTest {
 protected:
  // Settings that map COM1 to the echoing bus and COM2 to nothing.
  std::string DeviceSection() const {
    return "[devices]\nCOM1=" + bus_.DevicePath() +
           "\nCOM2=/nonexistent/tty\nCOM3=/nonexistent/tty\nCOM4=/nonexistent/tty\n";
  }

  // Runs `inDialog` once the Set-button dialog is up, then presses the right
  // mouse button on `button`; returns when the dialog has closed.
  static void RightPressWithDialog(TForm1& form, QPushButton* button,
                                   std::function<void(TFormSetButton&)> inDialog) {
    bool ran = false;
    QTimer::singleShot(0, &form, [&] {
      EXPECT_TRUE(form.FormSetButton->isVisible());
      inDialog(*form.FormSetButton);
      ran = true;
    });
    QTest::mousePress(button, Qt::RightButton);
    EXPECT_TRUE(ran);
    EXPECT_FALSE(form.FormSetButton->isVisible());
  }
};

TEST_F(MainWindowTest, FirstStartWithoutSettingsOrDeviceLogsTheFourLinesAndHasNoEngine) {
  TForm1Options options;
  options.PortFactory = NoDevicePorts();
  auto form = OpenWindow(std::move(options));

  EXPECT_EQ(ViewTexts(*form),
            (QStringList{"Port is not open", "Cannot open COM1 2 : \"No such file or directory\"",
                         "Cannot open COM1", "Port closed"}));
  EXPECT_EQ(form->fSb9600, nullptr);
  EXPECT_TRUE(errors_.Texts().isEmpty());

  // Every line is "hh:nn:ss", two spaces and the text.
  const QRegularExpression stamp(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d  \\S"));
  for (const QString& line : ViewLines(*form))
    EXPECT_TRUE(stamp.match(line).hasMatch()) << line.toStdString();

  // The designed states, apart from "Log Transmit", which the missing key clears.
  EXPECT_EQ(form->ComboBoxPortIndex->currentText(), "1");
  EXPECT_EQ(form->EditPortBaud->text(), "9600");
  EXPECT_EQ(form->EditPortBits->text(), "8");
  EXPECT_EQ(form->ComboBoxPortStopBits->currentText(), "1");
  EXPECT_EQ(form->ParityIndex(), 0);
  EXPECT_FALSE(form->CheckBoxLogTransmit->isChecked());
  EXPECT_TRUE(form->CheckBoxLogReceive->isChecked());
  EXPECT_FALSE(form->CheckBoxLogToFile->isChecked());
  EXPECT_EQ(form->CommandButton(3, 7)->text(), "Right-click to set");
  EXPECT_EQ(form->windowTitle(), "Kestrune");
  EXPECT_EQ(form->PageControl1->currentWidget(), form->TabSheet1);
  EXPECT_EQ(form->PageControl2->currentWidget(), form->TabSheetCmd[0]);
  for (int page = 1; page <= TForm1::kCommandPages; ++page)
    EXPECT_EQ(form->PageControl2->tabText(page - 1), QString::number(page));
  // Made by the first line written to a file, not at start.
  EXPECT_FALSE(std::filesystem::exists(dir_.Path() / "logs"));
  EXPECT_TRUE(form->ProgressBar1->isHidden());
  EXPECT_EQ(form->ProgressBar1->geometry(), form->StatusPanels[1]->geometry());

  // A left click while no port is open only says so; a command is not needed.
  QTest::mouseClick(form->CommandButton(1, 0), Qt::LeftButton);
  EXPECT_EQ(ViewTexts(*form).last(), "Port is not open");

  // The first close creates the file with every section of this window.
  form.reset();
  const TIniFile ini((dir_.Path() / "settings.ini").string());
  for (const char* section : {"port", "log", "buttons1", "buttons2", "buttons3", "buttons4",
                              "buttons5", "mem", "scan", "tune", "sett"})
    EXPECT_TRUE(ini.SectionExists(section)) << section;
  EXPECT_EQ(ini.ReadString("buttons5", "ButtonP5_9", ""), "Right-click to set;");
  EXPECT_EQ(ini.ReadString("port", "Baud", ""), "9600");
}

TEST_F(MainWindowTest, ApplyOpensReplacesAndFreesTheEngine) {
  dir_.Write("settings.ini", DeviceSection() + "[log]\ntransmit=1\n");
  auto form = OpenWindow();
  ASSERT_NE(form->fSb9600, nullptr);
  EXPECT_EQ(ViewTexts(*form).last(), "Port COM1 is open");
  TSb9600* engine = form->fSb9600.get();

  // Apply again on the same port: the same engine with a new port.
  QTest::mouseClick(form->ButtonPortApply, Qt::LeftButton);
  EXPECT_EQ(form->fSb9600.get(), engine);
  EXPECT_EQ(ViewTexts(*form).last(), "Port COM1 is open");
  EXPECT_TRUE(form->fSb9600->ComPort()->IsOpen());

  // Letters, zero or a negative number as baud or bits: the error, and the
  // open port stays as it was.
  const struct {
    const char* baud;
    const char* bits;
    const char* message;
  } refused[] = {
      {"fast", "8", "''fast'' is not a valid integer value."},
      {"0", "8", "''0'' is not a valid baud rate (1 to 4000000)"},
      {"-9600", "8", "''-9600'' is not a valid baud rate (1 to 4000000)"},
      {"9600", "x", "''x'' is not a valid integer value."},
      {"9600", "0", "''0'' is not a valid number of data bits (5 to 8)"},
      {"9600", "9", "''9'' is not a valid number of data bits (5 to 8)"},
  };
  const int linesBefore = ViewTexts(*form).size();
  for (const auto& r : refused) {
    form->EditPortBaud->setText(r.baud);
    form->EditPortBits->setText(r.bits);
    QTest::mouseClick(form->ButtonPortApply, Qt::LeftButton);
    EXPECT_EQ(errors_.Texts().last(), r.message);
    EXPECT_EQ(form->fSb9600.get(), engine);
    EXPECT_TRUE(form->fSb9600->ComPort()->IsOpen());
  }
  EXPECT_EQ(errors_.Texts().size(), std::size(refused));
  EXPECT_EQ(ViewTexts(*form).size(), linesBefore);

  // The second port has no device: COM1 is closed, the engine freed, and
  // the next command says the port is not open.
  form->EditPortBaud->setText("9600");
  form->EditPortBits->setText("8");
  form->ComboBoxPortIndex->setCurrentIndex(1);
  QTest::mouseClick(form->ButtonPortApply, Qt::LeftButton);
  EXPECT_EQ(form->fSb9600, nullptr);
  EXPECT_EQ(ViewTexts(*form).mid(linesBefore),
            (QStringList{"Cannot open COM2 2 : \"No such file or directory\"", "Cannot open COM2",
                         "Port closed"}));
  QTest::mouseClick(form->CommandButton(1, 0), Qt::LeftButton);
  EXPECT_EQ(ViewTexts(*form).last(), "Port is not open");

  // And back to the working one.
  form->ComboBoxPortIndex->setCurrentIndex(0);
  QTest::mouseClick(form->ButtonPortApply, Qt::LeftButton);
  ASSERT_NE(form->fSb9600, nullptr);
  EXPECT_EQ(ViewTexts(*form).last(), "Port COM1 is open");
}

TEST_F(MainWindowTest, ThePortCannotBeReplacedUnderARunningExchange) {
  dir_.Write("settings.ini", DeviceSection() + "[buttons1]\nButtonP1_0=Mute;" +
                                 AsCommand(AudioMuteFrame()).toStdString() + "\n");
  auto form = OpenWindow();
  ASSERT_NE(form->fSb9600, nullptr);
  sim::Faults faults;
  faults.dropEcho = 1;  // the first attempt waits its full 3 s
  bus_.SetFaults(faults);

  // COM2 has no device: were the apply carried out, it would free the engine
  // while its wait is still on the stack.
  bool appliedInsideTheWait = false;
  QTimer::singleShot(100, form.get(), [&] {
    appliedInsideTheWait = true;
    form->ComboBoxPortIndex->setCurrentIndex(1);
    QTest::mouseClick(form->ButtonPortApply, Qt::LeftButton);
    form->ComboBoxPortIndex->setCurrentIndex(0);
  });
  QTest::mouseClick(form->CommandButton(1, 0), Qt::LeftButton);

  EXPECT_TRUE(appliedInsideTheWait);
  EXPECT_EQ(errors_.Texts(),
            QStringList{"The port cannot be changed while an exchange is running."});
  ASSERT_NE(form->fSb9600, nullptr);
  EXPECT_TRUE(form->fSb9600->ComPort()->IsOpen());
  // The second attempt went out and was echoed: the engine was left alone.
  const std::vector<uint8_t> frame = AudioMuteFrame();
  std::vector<uint8_t> twice = frame;
  twice.insert(twice.end(), frame.begin(), frame.end());
  EXPECT_EQ(bus_.Received(), twice);

  // Afterwards Apply works again.
  QTest::mouseClick(form->ButtonPortApply, Qt::LeftButton);
  EXPECT_EQ(ViewTexts(*form).last(), "Port COM1 is open");
}

TEST_F(MainWindowTest, AStoredBaudThatIsNoIntegerIsReportedAndTheWindowOpensWithoutEngine) {
  dir_.Write("settings.ini", DeviceSection() + "[port]\nBaud=96OO\n");
  auto form = OpenWindow();
  EXPECT_EQ(errors_.Texts(), QStringList{"''96OO'' is not a valid integer value."});
  EXPECT_EQ(form->fSb9600, nullptr);
  EXPECT_TRUE(form->isVisible());
  ASSERT_NE(form->FormSetButton, nullptr);
}

TEST_F(MainWindowTest, ACommandButtonSendsItsPacketAndTheDumpsShow) {
  const std::vector<uint8_t> frame = AudioMuteFrame();
  const QString command = AsCommand(frame);
  dir_.Write("settings.ini", DeviceSection() +
                                 "[log]\ntransmit=1\nreceive=1\n"
                                 "[buttons1]\nButtonP1_0=Mute;" +
                                 command.toStdString() + "\nButtonP1_1=Blank;  \t\n");
  auto form = OpenWindow();
  ASSERT_NE(form->fSb9600, nullptr);
  const int before = ViewTexts(*form).size();

  QTest::mouseClick(form->CommandButton(1, 0), Qt::LeftButton);
  // The echo may come in more than one read, so more than one dump.
  ASSERT_TRUE(QTest::qWaitFor([&] { return ReceivedInView(*form, before) == frame; }))
      << ViewTexts(*form).join(u'\n').toStdString();
  const QStringList lines = ViewTexts(*form).mid(before);
  EXPECT_EQ(lines.first(), "TX(5) " + command + "   |  ?????");
  // The echo is matched against the packet sent, so it carries no description.
  for (const QString& line : lines.filter("RX("))
    EXPECT_TRUE(line.endsWith(u'?')) << line.toStdString();
  EXPECT_EQ(bus_.Received(), frame);

  // A command of blanks and control characters sends nothing and logs nothing.
  const int afterFirst = ViewTexts(*form).size();
  QTest::mouseClick(form->CommandButton(1, 1), Qt::LeftButton);
  EXPECT_EQ(ViewTexts(*form).size(), afterFirst);
  EXPECT_EQ(bus_.Received(), frame);

  // A stored command that is not command byte text: the error, nothing sent.
  TForm1::SetButtonHint(form->CommandButton(1, 2), "12 zz");
  QTest::mouseClick(form->CommandButton(1, 2), Qt::LeftButton);
  EXPECT_EQ(errors_.Texts(), QStringList{"''$zz'' is not a valid integer value."});
  EXPECT_EQ(bus_.Received(), frame);

  // Switching "Log Transmit" off reaches the engine at once.
  form->CheckBoxLogTransmit->click();
  const int beforeQuiet = ViewTexts(*form).size();
  QTest::mouseClick(form->CommandButton(1, 0), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return ReceivedInView(*form, beforeQuiet) == frame; }));
  EXPECT_TRUE(ViewTexts(*form).mid(beforeQuiet).filter("TX(").isEmpty());
}

TEST_F(MainWindowTest, TheSetButtonDialogAppliesCaptionThenNormalizedCommand) {
  auto form = OpenWindow();
  QPushButton* button = form->CommandButton(2, 3);

  RightPressWithDialog(*form, button, [&](TFormSetButton& dialog) {
    EXPECT_EQ(dialog.windowTitle(), "Set button \"ButtonP2_3\"");
    EXPECT_EQ(dialog.LabelCaption->text(), "Caption");
    EXPECT_EQ(dialog.LabelData->text(), "Command");
    EXPECT_EQ(dialog.EditSetButtonCaption->text(), "Right-click to set");
    EXPECT_EQ(dialog.EditSetButtonCommand->text(), "");
    EXPECT_EQ(dialog.pos(), QPoint(form->x() + button->x() + button->width() / 2,
                                   form->y() + button->y() + button->height()));
    dialog.EditSetButtonCaption->setText(" Tune ");
    dialog.EditSetButtonCommand->setText("0x05, 0x00 0x1A");
    QTest::mouseClick(dialog.BitBtn1, Qt::LeftButton);
  });
  EXPECT_EQ(button->text(), " Tune ");
  EXPECT_EQ(TForm1::ButtonHint(button), "05 00 1A");
  EXPECT_TRUE(button->toolTip().isEmpty());

  // Reopened, it shows the canonical command; the close box changes nothing.
  RightPressWithDialog(*form, button, [&](TFormSetButton& dialog) {
    EXPECT_EQ(dialog.EditSetButtonCommand->text(), "05 00 1A");
    dialog.EditSetButtonCaption->setText("changed");
    dialog.EditSetButtonCommand->setText("FF");
    dialog.close();
  });
  EXPECT_EQ(button->text(), " Tune ");
  EXPECT_EQ(TForm1::ButtonHint(button), "05 00 1A");

  // A token that is not hex: the caption is applied, the command kept, and
  // the error shown.
  RightPressWithDialog(*form, button, [&](TFormSetButton& dialog) {
    dialog.EditSetButtonCaption->setText("Broken");
    dialog.EditSetButtonCommand->setText("01 zz");
    QTest::keyClick(dialog.EditSetButtonCommand, Qt::Key_Return);  // OK is the default
  });
  EXPECT_EQ(button->text(), "Broken");
  EXPECT_EQ(TForm1::ButtonHint(button), "05 00 1A");
  EXPECT_EQ(errors_.Texts(), QStringList{"''$zz'' is not a valid integer value."});

  // An empty command field clears the command.
  RightPressWithDialog(*form, button, [&](TFormSetButton& dialog) {
    dialog.EditSetButtonCommand->clear();
    QTest::mouseClick(dialog.BitBtn1, Qt::LeftButton);
  });
  EXPECT_EQ(TForm1::ButtonHint(button), "");

  // The keyboard's menu key opens the dialog too.
  bool opened = false;
  QTimer::singleShot(0, form.get(), [&] {
    opened = form->FormSetButton->isVisible();
    form->FormSetButton->close();
  });
  button->setFocus();
  QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(1, 1),
                            button->mapToGlobal(QPoint(1, 1)));
  QApplication::sendEvent(button, &menuKey);
  EXPECT_TRUE(opened);
}

// The settings file ends a caption with ";": stored, the text behind it
// would become the command after a restart.
TEST_F(MainWindowTest, ACaptionHoldingASemicolonIsRefusedAndTheDialogStaysOpen) {
  auto form = OpenWindow();
  QPushButton* button = form->CommandButton(1, 4);
  RightPressWithDialog(*form, button, [&](TFormSetButton& dialog) {
    dialog.EditSetButtonCaption->setText("Tune;1");
    dialog.EditSetButtonCommand->setText("01 02");
    QTest::mouseClick(dialog.BitBtn1, Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(errors_.Texts(),
              QStringList{"The character \";\" cannot be stored in a caption: the settings file "
                          "uses it to end the caption."});
    EXPECT_EQ(button->text(), "Right-click to set");
    EXPECT_EQ(dialog.EditSetButtonCaption->text(), "Tune;1") << "the operator's text stays";

    // Without it, OK goes through.
    dialog.EditSetButtonCaption->setText("Tune 1");
    QTest::keyClick(dialog.EditSetButtonCaption, Qt::Key_Return);
  });
  EXPECT_EQ(button->text(), "Tune 1");
  EXPECT_EQ(TForm1::ButtonHint(button), "01 02");
  EXPECT_EQ(errors_.Texts().size(), 1);
}

TEST_F(MainWindowTest, ALeftClickNeverOpensTheDialogAndARightPressNeverSends) {
  dir_.Write("settings.ini", DeviceSection() + "[log]\ntransmit=1\n[buttons1]\nButtonP1_0=Send;" +
                                 AsCommand(AudioMuteFrame()).toStdString() + "\n");
  auto form = OpenWindow();
  ASSERT_NE(form->fSb9600, nullptr);
  QPushButton* button = form->CommandButton(1, 0);

  RightPressWithDialog(*form, button, [](TFormSetButton& dialog) { dialog.close(); });
  QTest::mouseClick(button, Qt::MiddleButton);
  EXPECT_TRUE(bus_.Received().empty());

  bool dialogSeen = false;
  QTimer::singleShot(0, form.get(), [&] { dialogSeen = form->FormSetButton->isVisible(); });
  QTest::mouseClick(button, Qt::LeftButton);
  QTest::qWait(0);
  EXPECT_FALSE(dialogSeen);
  EXPECT_EQ(bus_.Received(), AudioMuteFrame());
}

TEST_F(MainWindowTest, LogToFileCanBeSwitchedOnAndOffMidRun) {
  dir_.Write("settings.ini", DeviceSection());
  auto form = OpenWindow();
  const std::string logName = ConsoleLog().LogFileName;
  EXPECT_EQ(std::filesystem::path(logName).parent_path(), dir_.Path() / "logs");
  EXPECT_TRUE(QRegularExpression(QStringLiteral("/\\d{8}_\\d{4}\\.log$"))
                  .match(QString::fromStdString(logName))
                  .hasMatch());
  EXPECT_EQ(ReadLogFile(), "");  // nothing logged to file so far

  LogLine("view only");
  form->CheckBoxLogToFile->click();
  LogLine("to both");
  LogLine("");
  std::thread([] { LogLine("from another thread"); }).join();
  EXPECT_NE(ReadLogFile().find("from another thread\r\n"), std::string::npos);
  form->CheckBoxLogToFile->click();
  LogLine("view again");

  const std::string file = ReadLogFile();
  EXPECT_EQ(file.find("view only"), std::string::npos);
  EXPECT_EQ(file.find("view again"), std::string::npos);
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d  to both\\r\\n"
                                                "\\d\\d:\\d\\d:\\d\\d  \\r\\n"
                                                "\\d\\d:\\d\\d:\\d\\d  from another thread\\r\\n$"))
                  .match(QString::fromStdString(file))
                  .hasMatch())
      << file;

  ASSERT_TRUE(WaitForViewLine(*form, "from another thread"));
  EXPECT_EQ(ViewTexts(*form).mid(ViewTexts(*form).indexOf("view only")),
            (QStringList{"view only", "to both", "", "from another thread", "view again"}));

  // "Clear" empties the view only; the next line starts a new view.
  form->CheckBoxLogToFile->click();
  form->NLogClear->trigger();
  EXPECT_TRUE(ViewLines(*form).isEmpty());
  LogLine("after clear");
  EXPECT_EQ(ViewTexts(*form), QStringList{"after clear"});
  EXPECT_NE(ReadLogFile().find("to both"), std::string::npos);
  EXPECT_NE(ReadLogFile().find("after clear"), std::string::npos);

  // "Port closed" at shutdown reaches the file only.
  form.reset();
  EXPECT_NE(ReadLogFile().find("Port closed\r\n"), std::string::npos);
}

TEST_F(MainWindowTest, ALogFileFailureOnTheEventThreadIsReportedOnceAndThePortGoesOn) {
  dir_.Write("settings.ini", DeviceSection() +
                                 "[log]\ntransmit=0\nreceive=1\ntofile=1\n"
                                 "[buttons1]\nButtonP1_0=Send;" +
                                 AsCommand(AudioMuteFrame()).toStdString() + "\n");
  auto form = OpenWindow();
  ASSERT_NE(form->fSb9600, nullptr);
  // A file where the folder was: the folder cannot be made again.
  std::filesystem::remove_all(dir_.Path() / "logs");
  dir_.Write("logs", "");
  const std::string logName = ConsoleLog().LogFileName;
  const QString message =
      QString::fromStdString("Cannot open file \"" + logName + "\". Not a directory");

  // Two exchanges: the received dumps come on the port's event thread.
  for (int round = 1; round <= 2; ++round) {
    QTest::mouseClick(form->CommandButton(1, 0), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ReceivedInView(*form, 0).size() == 5u * round; }))
        << round;
  }
  ASSERT_TRUE(QTest::qWaitFor([&] { return !errors_.Texts().isEmpty(); }));
  QTest::qWait(50);  // room for a second report, which must not come
  EXPECT_EQ(errors_.Texts(), QStringList{message + "."});
  EXPECT_EQ(ViewTexts(*form).filter(message).size(), 1);

  // Once a line reaches the file again, a new failure is reported again.
  std::filesystem::remove(dir_.Path() / "logs");
  LogLine("file back");
  EXPECT_NE(ReadLogFile().find("file back"), std::string::npos);
  std::filesystem::remove_all(dir_.Path() / "logs");
  dir_.Write("logs", "");
  std::thread([] { LogLine("lost again"); }).join();
  ASSERT_TRUE(QTest::qWaitFor([&] { return errors_.Texts().size() == 2; }));
}

TEST_F(MainWindowTest, SettingsSurviveARestartAndUnknownSectionsAreKept) {
  dir_.Write("settings.ini",
             "; kept comment\n[future]\nShiny=\"yes\"\n" + DeviceSection() +
                 "[buttons2]\n"
                 "ButtonP2_9=Last;FF\n"  // keys count by position, not by name
                 "ButtonP2_0=Semi;colon;01 02\n"
                 "ButtonP2_1=No command\n"  // one part only: left as designed
                 "[sett]\nminfreq=450000000\n");
  {
    auto form = OpenWindow();
    EXPECT_EQ(form->CommandButton(2, 0)->text(), "Last");
    EXPECT_EQ(TForm1::ButtonHint(form->CommandButton(2, 0)), "FF");
    EXPECT_EQ(form->CommandButton(2, 1)->text(), "Semi");
    EXPECT_EQ(TForm1::ButtonHint(form->CommandButton(2, 1)), "colon");
    EXPECT_EQ(form->CommandButton(2, 2)->text(), "Right-click to set");
    EXPECT_EQ(form->ComboBoxSettMinFreq->currentIndex(), 2);
    EXPECT_EQ(form->ComboBoxSettMaxFreq->currentIndex(), 2);

    form->ComboBoxPortIndex->setCurrentIndex(3);
    form->EditPortBaud->setText("19200");
    form->EditPortBits->setText("7");
    form->ComboBoxPortStopBits->setCurrentIndex(2);
    form->SetParityIndex(4);
    form->CheckBoxLogTransmit->setChecked(true);
    form->CheckBoxLogReceive->setChecked(false);
    form->CheckBoxLogToFile->setChecked(true);
    form->CommandButton(5, 9)->setText("Five nine");
    TForm1::SetButtonHint(form->CommandButton(5, 9), "05 09");
  }
  const std::string written = dir_.Read("settings.ini");
  EXPECT_EQ(written.rfind("; kept comment\n[future]\nShiny=\"yes\"\n[devices]\n", 0), 0u)
      << written;

  auto form = OpenWindow();
  EXPECT_EQ(form->ComboBoxPortIndex->currentIndex(), 3);
  EXPECT_EQ(form->EditPortBaud->text(), "19200");
  EXPECT_EQ(form->EditPortBits->text(), "7");
  EXPECT_EQ(form->ComboBoxPortStopBits->currentIndex(), 2);
  EXPECT_EQ(form->ParityIndex(), 4);
  EXPECT_TRUE(form->CheckBoxLogTransmit->isChecked());
  EXPECT_FALSE(form->CheckBoxLogReceive->isChecked());
  EXPECT_TRUE(form->CheckBoxLogToFile->isChecked());
  EXPECT_EQ(form->CommandButton(5, 9)->text(), "Five nine");
  EXPECT_EQ(TForm1::ButtonHint(form->CommandButton(5, 9)), "05 09");
  EXPECT_EQ(form->CommandButton(2, 0)->text(), "Last");
  EXPECT_EQ(form->ComboBoxSettMinFreq->currentIndex(), 2);
  // COM4 has no entry and falls back to /dev/ttyS3; what matters here is only
  // that the window came up with every setting in place.
}

TEST_F(MainWindowTest, ASettingsFileThatCannotBeWrittenIsReportedAndTheCloseGoesOn) {
  // Made read-only by the operator: refused, even when we run as root.
  const std::string original = "[port]\r\nBaud=19200\r\n";
  dir_.Write("settings.ini", original);
  const std::filesystem::path path = dir_.Path() / "settings.ini";
  std::filesystem::permissions(path, std::filesystem::perms(0444));
  TForm1Options options;
  options.PortFactory = NoDevicePorts();
  auto form = OpenWindow(std::move(options));
  EXPECT_EQ(form->EditPortBaud->text(), "19200");
  form->EditPortBaud->setText("4800");
  form.reset();
  EXPECT_EQ(errors_.Texts(),
            QStringList{QString::fromStdString("Unable to write to " + path.string() + ".")});
  EXPECT_TRUE(ConsoleLog().AppClosing);
  EXPECT_EQ(dir_.Read("settings.ini"), original);
}

TEST_F(MainWindowTest, ASettingsFileThatCannotBeReadIsReportedOnceAndLeftAlone) {
  // Something that is there but cannot be read as a file, whoever we are.
  const std::filesystem::path path = dir_.Path() / "settings.ini";
  std::filesystem::create_directories(path / "kept");
  TForm1Options options;
  options.PortFactory = NoDevicePorts();
  auto form = OpenWindow(std::move(options));
  const QStringList startUp{
      QString::fromStdString("Unable to read " + path.string() + ": Is a directory.")};
  EXPECT_EQ(errors_.Texts(), startUp);
  EXPECT_EQ(form->EditPortBaud->text(), "9600") << "the defaults";
  form.reset();
  EXPECT_EQ(errors_.Texts(), startUp) << "nothing more at the close";
  EXPECT_TRUE(std::filesystem::is_directory(path / "kept"));
}

TEST_F(MainWindowTest, KeysBeyondTheTenthOfAButtonSectionNameNoButton) {
  std::string section = "[buttons3]\n";
  for (int k = 0; k < 12; ++k)
    section +=
        "key" + std::to_string(k) + "=C" + std::to_string(k) + ";0" + std::to_string(k % 10) + "\n";
  dir_.Write("settings.ini", section);
  TForm1Options options;
  options.PortFactory = NoDevicePorts();
  auto form = OpenWindow(std::move(options));
  EXPECT_EQ(form->CommandButton(3, 9)->text(), "C9");
  EXPECT_EQ(form->CommandButton(4, 0)->text(), "Right-click to set");
  EXPECT_EQ(form->CommandButton(4, 1)->text(), "Right-click to set");
}

TEST_F(MainWindowTest, ReadComboIndexMatchesAnItemIgnoringCaseOrGivesTheDefault) {
  EnsureApplication();
  QComboBox steps;
  steps.addItems({"5.0 KHz", "6.25 KHz", "12.5 KHz"});
  dir_.Write("settings.ini", "[scan]\nstep=12.5 khz\nnone=7 KHz\n");
  const TIniFile ini((dir_.Path() / "settings.ini").string());
  EXPECT_EQ(ReadComboIndex(steps, ini, "scan", "step", "5.0 KHz", 0), 2);
  EXPECT_EQ(ReadComboIndex(steps, ini, "scan", "none", "5.0 KHz", 0), 0);
  EXPECT_EQ(ReadComboIndex(steps, ini, "scan", "missing", "6.25 KHZ", 0), 1);
  EXPECT_EQ(ReadComboIndex(steps, ini, "scan", "missing", "", 1), 1);
}

TEST_F(MainWindowTest, AStoredPositionOutOfRangeSelectsNothingAndAppliesAsItIs) {
  dir_.Write("settings.ini", "[port]\nindex=-1\nParity=9\n");
  TForm1Options options;
  options.PortFactory = NoDevicePorts();
  auto form = OpenWindow(std::move(options));
  EXPECT_EQ(form->ComboBoxPortIndex->currentIndex(), -1);
  EXPECT_EQ(form->ParityIndex(), -1);
  EXPECT_TRUE(ViewTexts(*form).contains("Cannot open COM0"));
}

TEST_F(MainWindowTest, ATerminationSignalClosesTheWindowTheNormalWay) {
  TForm1Options options;
  options.PortFactory = NoDevicePorts();
  auto form = OpenWindow(std::move(options));
  TQuitOnSignal quit;
  quit.SetWindow(form.get());
  ASSERT_TRUE(form->isVisible());
  raise(SIGHUP);
  // As in the program, the close ends the application's event loop. Run
  // here, the loop also takes back the quit request when it ends; left
  // pending, it would end every later modal dialog of this process at once.
  QTimer hung;
  hung.setSingleShot(true);
  QObject::connect(&hung, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  hung.start(20000);
  EXPECT_EQ(QCoreApplication::exec(), 0);
  EXPECT_FALSE(form->isVisible());
}

}  // namespace
}  // namespace kestrune::test
