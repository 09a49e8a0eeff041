// The Scan tab driven as the operator drives it, against the simulated radio:
// the button's captions, stopping in a pause and in an exchange, a new scan
// started inside a stopped one's pause, conversion errors, choices changed
// during a scan, the progress bar and status panel, and the [scan] settings.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <memory>

#include "ScanTestSupport.h"
#include "tests/support/Window.h"

namespace kestrune::test {
namespace {

class ScanTabTest : public WindowTest {
 protected:
  static void SetRange(TForm1& form, const QString& from, const QString& to, const QString& delay) {
    form.MaskEditScanFrom->setText(from);
    form.MaskEditScanTo->setText(to);
    form.EditScanDelay->setText(delay);
  }

  static QStringList ScanLines(const TForm1& form) {
    QStringList lines;
    for (const QString& line : ViewTexts(form))
      if (line.startsWith("channel ")) lines.append(line);
    return lines;
  }

  static void ExpectIdle(const TForm1& form) {
    EXPECT_EQ(form.ButtonScan->text(), "Start");
    EXPECT_FALSE(form.ScanRunning);
    EXPECT_TRUE(form.ProgressBar1->isHidden());
  }
};

TEST_F(ScanTabTest, AScanShowsItsProgressAndChannelAndEndsIdle) {
  auto form = Start();
  SetRange(*form, "100", "105", "0");
  std::vector<int> progress;
  bool barShownWhileMoving = true;
  QObject::connect(form->ProgressBar1, &QProgressBar::valueChanged, [&](int value) {
    progress.push_back(value);
    barShownWhileMoving = barShownWhileMoving && form->ProgressBar1->isVisible();
  });
  bool runningSeen = false;
  WhenThen during(Logged(*form, 100),
                  [&] { runningSeen = form->ScanRunning && form->ButtonScan->text() == "Stop"; });
  QTest::mouseClick(form->ButtonScan, Qt::LeftButton);

  EXPECT_TRUE(runningSeen);
  EXPECT_EQ(ChannelNumbers(bus_), (std::vector<uint16_t>{100, 101, 102, 103, 104}));
  EXPECT_EQ(ScanLines(*form).last(), "channel 104 set");
  EXPECT_EQ(progress, (std::vector<int>{0, 20, 40, 60, 80}));
  EXPECT_TRUE(barShownWhileMoving);
  EXPECT_EQ(form->StatusPanels[0]->text(), "104");  // kept after the scan
  ExpectIdle(*form);
  EXPECT_TRUE(errors_.Texts().isEmpty());
}

TEST_F(ScanTabTest, StopInThePauseAfterAChannelSendsNothingMore) {
  auto form = Start();
  SetRange(*form, "100", "105", "1000");
  QString captionAfterStop;
  WhenThen stop(Logged(*form, 101), [&] {
    QTest::mouseClick(form->ButtonScan, Qt::LeftButton);
    captionAfterStop = form->ButtonScan->text();
  });
  QTest::mouseClick(form->ButtonScan, Qt::LeftButton);

  EXPECT_EQ(captionAfterStop, "Start");
  EXPECT_EQ(ChannelNumbers(bus_), (std::vector<uint16_t>{100, 101}));
  EXPECT_EQ(ScanLines(*form), (QStringList{"channel 100 set", "channel 101 set"}));
  ExpectIdle(*form);
}

TEST_F(ScanTabTest, StopDuringAnExchangeLetsItsLineAndPauseFollowThenEnds) {
  auto form = Start();
  SetRange(*form, "100", "105", "0");
  // The exchange of 101 loses its first echo and waits: Stop arrives inside.
  WhenThen slow(Logged(*form, 100), [&] {
    sim::Faults faults;
    faults.dropEcho = 1;
    bus_.SetFaults(faults);
  });
  bool stoppedInExchange = false;
  WhenThen stop(Exchanging(*form, 101), [&] {
    QTest::mouseClick(form->ButtonScan, Qt::LeftButton);
    stoppedInExchange = form->ButtonScan->text() == "Start";
  });
  QTest::mouseClick(form->ButtonScan, Qt::LeftButton);

  EXPECT_TRUE(stoppedInExchange);
  // 101 twice: the first attempt lost its echo, the second completed.
  EXPECT_EQ(ChannelNumbers(bus_), (std::vector<uint16_t>{100, 101, 101}));
  EXPECT_EQ(ScanLines(*form), (QStringList{"channel 100 set", "channel 101 set"}));
  ExpectIdle(*form);
}

// Stop ends the pause at once. A start inside the stopped scan's pause is
// refused, as no operation runs inside another's waits; once the old scan
// has ended, the next click starts a new one.
TEST_F(ScanTabTest, StopEndsThePauseAtOnceAndAStartInsideItIsRefused) {
  auto form = Start();
  SetRange(*form, "100", "105", "600000");
  WhenThen stop(Logged(*form, 100), [&] {
    QTest::mouseClick(form->ButtonScan, Qt::LeftButton);  // Stopping
    QTest::mouseClick(form->ButtonScan, Qt::LeftButton);  // inside the old pause
  });
  QTest::mouseClick(form->ButtonScan, Qt::LeftButton);  // returns when the scan has ended

  EXPECT_TRUE(ViewTexts(*form).contains("Refused: the scan is running"));
  EXPECT_EQ(ChannelNumbers(bus_), (std::vector<uint16_t>{100}));
  ExpectIdle(*form);

  SetRange(*form, "200", "202", "0");
  QTest::mouseClick(form->ButtonScan, Qt::LeftButton);
  EXPECT_EQ(ChannelNumbers(bus_), (std::vector<uint16_t>{100, 200, 201}));
  EXPECT_EQ(ScanLines(*form),
            (QStringList{"channel 100 set", "channel 200 set", "channel 201 set"}));
  ExpectIdle(*form);
}

TEST_F(ScanTabTest, AFieldThatIsNoIntegerStopsTheStartAndTheNextClickStarts) {
  auto form = Start();
  const struct {
    QString from, to, delay, error;
  } cases[] = {
      {"", "5", "0", "'''' is not a valid integer value."},
      {"1", "", "0", "'''' is not a valid integer value."},
      {"1", "5", "abc", "''abc'' is not a valid integer value."},
  };
  for (const auto& c : cases) {
    SetRange(*form, c.from, c.to, c.delay);
    QTest::mouseClick(form->ButtonScan, Qt::LeftButton);
    EXPECT_EQ(errors_.Texts().value(errors_.Texts().size() - 1), c.error);
    ExpectIdle(*form);
  }
  EXPECT_EQ(errors_.Texts().size(), 3);
  EXPECT_TRUE(SentChannels(bus_).empty());
  EXPECT_TRUE(ScanLines(*form).isEmpty());

  // Two digits typed, three positions blank: the scan starts at 12.
  form->MaskEditScanFrom->clear();
  QTest::keyClicks(form->MaskEditScanFrom, "12");
  SetRange(*form, form->MaskEditScanFrom->text(), "14", "0");
  QTest::mouseClick(form->ButtonScan, Qt::LeftButton);
  EXPECT_EQ(ChannelNumbers(bus_), (std::vector<uint16_t>{12, 13}));
}

TEST_F(ScanTabTest, ChoicesChangedDuringAScanTakeEffectAtTheNextChannel) {
  auto form = Start();
  SetRange(*form, "10", "13", "300");
  WhenThen band(Logged(*form, 10), [&] {
    form->ComboBoxScanDir->setCurrentIndex(1);   // TX
    form->ComboBoxScanStep->setCurrentIndex(3);  // 20 KHz
    form->CheckBoxScan800->setChecked(true);
  });
  WhenThen sbep(Logged(*form, 11), [&] { form->CheckBoxScanSbep->setChecked(true); });
  QTest::mouseClick(form->ButtonScan, Qt::LeftButton);

  EXPECT_EQ(SentChannels(bus_),
            (std::vector<SentChannel>{
                {false, 10, 0x01, 0}, {false, 11, 0x18, 0}, {true, 12, 0x11, 0x0002}}));
  EXPECT_TRUE(ViewTexts(*form).contains("leaving SBEP mode"));
}

TEST_F(ScanTabTest, WithoutAnEngineEachChannelSaysPortIsNotOpenAndTheScanGoesOn) {
  TForm1Options options;
  options.PortFactory = NoDevicePorts();
  auto form = Start("", std::move(options));
  ASSERT_EQ(form->fSb9600, nullptr);
  SetRange(*form, "70000", "70002", "0");
  QTest::mouseClick(form->ButtonScan, Qt::LeftButton);
  const QStringList view = ViewTexts(*form);
  EXPECT_EQ(view.mid(view.size() - 4), (QStringList{"Port is not open", "channel 70000 set",
                                                    "Port is not open", "channel 70001 set"}));
  EXPECT_EQ(form->StatusPanels[0]->text(), "70001");
  ExpectIdle(*form);
}

TEST_F(ScanTabTest, TheTabsDefaultsAndSettingsAreReadAndWrittenInTheirPlace) {
  {
    auto form = Start();  // no [scan] section: the defaults
    EXPECT_EQ(form->PageControl2->tabText(form->PageControl2->indexOf(form->TabSheet5)), "Scan");
    QStringList columns;
    for (int i = 0; i < form->ListView1->columnCount(); ++i)
      columns.append(form->ListView1->headerItem()->text(i));
    EXPECT_EQ(columns, (QStringList{"Channel", "Descr", "Dir", "Step", "800", "SBEP"}));
    EXPECT_EQ(form->ListView1->topLevelItemCount(), 0);
    ExpectIdle(*form);
  }
  std::string written = dir_.Read("settings.ini");
  const auto scan = written.find(
      "[scan]\nchn_from=00000\nchn_to=65535\ndelay=3000\nstep=5.0 KHz\n"
      "dir=RX\n800=0\nsbep=0\n[tune]");
  EXPECT_NE(scan, std::string::npos) << written;
  EXPECT_LT(written.find("[buttons5]"), scan);

  {
    auto form = Start(
        "[scan]\nchn_from=00100\nchn_to=00200\ndelay=750\nstep=12.5 khz\ndir=TX\n"
        "800=1\nsbep=1\n");
    EXPECT_EQ(form->ComboBoxScanStep->currentText(), "12.5 KHz");  // letter case ignored
    form->ComboBoxScanStep->setCurrentIndex(5);
  }
  written = dir_.Read("settings.ini");
  EXPECT_NE(written.find("[scan]\nchn_from=00100\nchn_to=00200\ndelay=750\nstep=30 KHz\ndir=TX\n"
                         "800=1\nsbep=1\n"),
            std::string::npos)
      << written;

  // Texts that name no item select the first.
  auto form = Start("[scan]\nstep=7 KHz\ndir=up\n");
  EXPECT_EQ(form->ComboBoxScanStep->currentIndex(), 0);
  EXPECT_EQ(form->ComboBoxScanDir->currentIndex(), 0);
}

}  // namespace
}  // namespace kestrune::test
