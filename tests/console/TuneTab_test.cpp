// The Tune and LCD tabs driven as the operator drives them, against the
// simulated radio: what reaches the radio, what the log says, and what the
// fields show.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <memory>
#include <optional>

#include "GuiTestSupport.h"
#include "console/WidgetKit.h"
#include "console/core/IniFile.h"
#include "protocol/CRC16.h"

namespace kestrune::test {
namespace {

class TuneTabTest : public ::testing::Test {
 protected:
  void SetUp() override { EnsureApplication(); }

  std::unique_ptr<TForm1> Start(const std::string& settings = {}, bool withRadio = true) {
    std::string text = settings;
    if (withRadio) text = "[devices]\nCOM1=" + bus_.DevicePath() + "\n" + settings;
    dir_.Write("settings.ini", text);
    TForm1Options options;
    options.ProgramDir = dir_.QPath();
    if (!withRadio) options.PortFactory = NoDevicePorts();
    auto form = std::make_unique<TForm1>(std::move(options));
    form->show();
    form->PageControl2->setCurrentWidget(form->TabSheet6);
    return form;
  }

  std::optional<sim::Sb9600Tune> LastTune() {
    return bus_.WithRadio([](sim::SimRadio& r) { return r.LastSb9600Tune(); });
  }
  std::optional<sim::DisplayText> LastDisplay() {
    return bus_.WithRadio([](sim::SimRadio& r) { return r.LastDisplayText(); });
  }

  // Types into a masked field from its start, leaving blank the positions
  // marked with "_" (the cursor steps over them).
  static void TypeMasked(QLineEdit* edit, const QString& keys) {
    edit->clear();
    edit->setCursorPosition(0);
    for (const QChar key : keys) {
      if (key == u'_')
        QTest::keyClick(edit, Qt::Key_Right);
      else
        QTest::keyClicks(edit, QString(key));
    }
  }

  TempDir dir_;
  SimulatedRadio bus_;
  RecordedErrors errors_;
};

TEST_F(TuneTabTest, TheTabsFollowTheCommandPagesAndHoldTheirDesignedStates) {
  auto form = Start({}, false);
  QTabWidget& pages = *form->PageControl2;
  EXPECT_LT(pages.indexOf(form->TabSheetCmd[4]), pages.indexOf(form->TabSheet6));
  EXPECT_EQ(pages.tabText(pages.indexOf(form->TabSheet6)), "Tune");
  EXPECT_EQ(pages.indexOf(form->TabSheet4), pages.count() - 1);
  EXPECT_EQ(pages.tabText(pages.count() - 1), "LCD");

  EXPECT_EQ(form->MaskEditTuneFreq->displayText(), "403.000.000");
  EXPECT_EQ(form->EditTuneChannel->text(), "4480");  // computed at start-up
  EXPECT_TRUE(form->EditTuneChannel->isReadOnly());
  EXPECT_EQ(form->EditTuneDescr->text(), "Descr");
  EXPECT_EQ(form->ComboBoxTuneDir->currentText(), "RX");
  EXPECT_EQ(form->ComboBoxTuneStep->currentText(), "6.25 KHz");
  EXPECT_EQ(form->ComboBoxTuneStep->count(), 2);
  EXPECT_FALSE(form->CheckBoxTune800->isChecked());
  EXPECT_FALSE(form->CheckBoxTuneLCD->isChecked());
  EXPECT_FALSE(form->CheckBoxTuneSbep->isChecked());
  EXPECT_EQ(form->ComboBoxTuneModulation->currentText(), "12.5KHz/C4FM");
  EXPECT_EQ(form->ComboBoxTuneAudio->currentText(), "Mute");
  EXPECT_EQ(form->MaskEditTuneFrames->text(), "00FF");
  EXPECT_EQ(form->ComboBoxTuneContinuos->currentText(), "Continuous Yes");
  EXPECT_EQ(form->GroupBoxTune->title(), "SBEP");
  EXPECT_EQ(form->EditToLCD->text(), "SELF CHECK");
  EXPECT_EQ(form->ButtonToLCD->text(), "Send");
}

TEST_F(TuneTabTest, ApplySendsTheChannelOfTheFrequencyAndLogsIt) {
  auto form = Start();
  ASSERT_NE(form->fSb9600, nullptr);

  // 403000000, "6.25 KHz", "RX": channel 4480 in a plain SB9600 frame.
  QTest::mouseClick(form->ButtonApplyFreq, Qt::LeftButton);
  std::vector<uint8_t> frame{0x03, 0x11, 0x80, 0x3F};
  frame.push_back(Sb9600Crc(frame.data(), 4));
  EXPECT_EQ(bus_.Received(), frame);
  ASSERT_TRUE(LastTune());
  EXPECT_EQ(LastTune()->channel, 4480);
  EXPECT_EQ(ViewTexts(*form).last(), "channel 4480 freq 403000000 set");
  EXPECT_TRUE(errors_.Texts().isEmpty());

  // SBEP with "CQPSK", "External", "Continuous No", and the frequency to the
  // display: two stays in SBEP mode, both left.
  form->MaskEditTuneFreq->setText("403012500");
  form->CheckBoxTuneSbep->setChecked(true);
  form->ComboBoxTuneModulation->setCurrentIndex(2);
  form->ComboBoxTuneAudio->setCurrentIndex(2);
  form->ComboBoxTuneContinuos->setCurrentIndex(0);
  form->MaskEditTuneFrames->setText("1a2");
  form->CheckBoxTuneLCD->setChecked(true);
  QTest::mouseClick(form->ButtonApplyFreq, Qt::LeftButton);

  const auto sbep = bus_.WithRadio([](sim::SimRadio& r) { return r.LastSbepTune(); });
  ASSERT_TRUE(sbep);
  EXPECT_EQ(sbep->option, 0x69);
  EXPECT_EQ(sbep->frames, 0x01A2);
  EXPECT_EQ(sbep->channel, 4482);
  ASSERT_TRUE(LastDisplay());
  EXPECT_EQ(LastDisplay()->device, 5);
  EXPECT_EQ(LastDisplay()->Text(), "403*013");
  EXPECT_FALSE(form->fSb9600->SbepMode);
  EXPECT_EQ(ViewTexts(*form).filter("leaving SBEP mode").size(), 2);
  EXPECT_EQ(ViewTexts(*form).last(), "channel 4482 freq 403012500 set");
  EXPECT_TRUE(errors_.Texts().isEmpty());
}

TEST_F(TuneTabTest, WithoutAPortEachSendSaysSoAndTheLineIsStillWritten) {
  auto form = Start("[tune]\nlcd=1\n", false);
  ASSERT_EQ(form->fSb9600, nullptr);
  const int before = ViewTexts(*form).size();
  QTest::mouseClick(form->ButtonApplyFreq, Qt::LeftButton);
  EXPECT_EQ(ViewTexts(*form).mid(before), (QStringList{"Port is not open", "Port is not open",
                                                       "channel 4480 freq 403000000 set"}));
  QTest::mouseClick(form->ButtonToLCD, Qt::LeftButton);
  EXPECT_EQ(ViewTexts(*form).last(), "Port is not open");
}

TEST_F(TuneTabTest, TheChannelFollowsTheTypedFrequencyButNotTheStep) {
  auto form = Start();
  QLineEdit* freq = form->MaskEditTuneFreq;

  TypeMasked(freq, "4030");
  EXPECT_EQ(MaskedText(*freq), "4030");
  EXPECT_EQ(form->EditTuneChannel->text(), "0");  // below every band
  QTest::keyClicks(freq, "12500");
  EXPECT_EQ(freq->displayText(), "403.012.500");
  EXPECT_EQ(form->EditTuneChannel->text(), "4482");

  // A blank inside the digits: not a number, so channel 0.
  TypeMasked(freq, "4_3000000");
  EXPECT_EQ(freq->displayText(), "4_3.000.000");
  EXPECT_EQ(MaskedText(*freq), "4 3000000");
  EXPECT_EQ(form->EditTuneChannel->text(), "0");
  freq->clear();
  EXPECT_EQ(MaskedText(*freq), "");
  EXPECT_EQ(form->EditTuneChannel->text(), "0");

  // Only the step changes: the field keeps the old channel, Apply sends the
  // new step's channel and leaves the field alone.
  freq->setText("403000000");
  EXPECT_EQ(form->EditTuneChannel->text(), "4480");
  form->ComboBoxTuneStep->setCurrentIndex(0);
  EXPECT_EQ(form->EditTuneChannel->text(), "4480");
  QTest::mouseClick(form->ButtonApplyFreq, Qt::LeftButton);
  ASSERT_TRUE(LastTune());
  EXPECT_EQ(LastTune()->channel, 5600);
  EXPECT_EQ(LastTune()->modeByte, 0x01);
  EXPECT_EQ(form->EditTuneChannel->text(), "4480");
  EXPECT_EQ(ViewTexts(*form).last(), "channel 5600 freq 403000000 set");

  // Editing the frames value recomputes it too.
  TypeMasked(form->MaskEditTuneFrames, "00fe");
  EXPECT_EQ(form->MaskEditTuneFrames->text(), "00FE");
  EXPECT_EQ(form->EditTuneChannel->text(), "5600");
}

TEST_F(TuneTabTest, TextsThatAreNoNumbersStopApplyBeforeAnythingIsSentOrLogged) {
  auto form = Start();
  ASSERT_NE(form->fSb9600, nullptr);
  const int lines = ViewTexts(*form).size();
  const auto applyRefused = [&](const QString& message) {
    QTest::mouseClick(form->ButtonApplyFreq, Qt::LeftButton);
    EXPECT_EQ(errors_.Texts().last(), message);
  };

  // The frames text counts also while SBEP is off.
  form->MaskEditTuneFrames->setText("zz");
  applyRefused("''$ZZ'' is not a valid integer value.");
  form->MaskEditTuneFrames->clear();
  applyRefused("''$'' is not a valid integer value.");
  TypeMasked(form->MaskEditTuneFrames, "0_FF");
  applyRefused("''$0 FF'' is not a valid integer value.");

  form->MaskEditTuneFrames->setText("00FF");
  TypeMasked(form->MaskEditTuneFreq, "4_3000000");
  applyRefused("''4 3000000'' is not a valid integer value.");

  EXPECT_EQ(errors_.Texts().size(), 4);
  EXPECT_TRUE(bus_.Received().empty());
  EXPECT_EQ(ViewTexts(*form).size(), lines);
}

TEST_F(TuneTabTest, TheLcdTabSendsItsTextAsBytesAndRefusesOneTooLong) {
  auto form = Start();
  ASSERT_NE(form->fSb9600, nullptr);

  QTest::mouseClick(form->ButtonToLCD, Qt::LeftButton);
  ASSERT_TRUE(LastDisplay());
  EXPECT_EQ(LastDisplay()->Text(), "SELF CHECK");
  EXPECT_EQ(LastDisplay()->device, 5);
  EXPECT_EQ(LastDisplay()->params, (std::array<uint8_t, 4>{0x80, 0x08, 0x00, 0x00}));
  EXPECT_EQ(LastDisplay()->attributes, std::vector<uint8_t>(10, 0x00));
  EXPECT_FALSE(form->fSb9600->SbepMode);

  form->EditToLCD->setText(QStringLiteral("\u00C9"));
  QTest::mouseClick(form->ButtonToLCD, Qt::LeftButton);
  EXPECT_EQ(LastDisplay()->text, (std::vector<uint8_t>{0xC3, 0x89}));

  // 63 letters of two bytes each: 126 bytes, past the frame's limit.
  const std::vector<uint8_t> before = bus_.Received();
  form->EditToLCD->setText(QString(63, QChar(0xC9)));
  QTest::mouseClick(form->ButtonToLCD, Qt::LeftButton);
  EXPECT_EQ(errors_.Texts(),
            QStringList{"The display text is 126 bytes long; the radio's display takes at most "
                        "124."});
  EXPECT_EQ(bus_.Received(), before);
  EXPECT_FALSE(form->fSb9600->SbepMode);
}

TEST_F(TuneTabTest, TuneSettingsAreReadIntoTheControlsAndWrittenBackInOrder) {
  const std::string tune =
      "[tune]\nfreq=851012500\nstep=5.0 khz\ndir=tx\n800=1\nsbep=1\nmodulation=Wide Pulse\n"
      "audio=Internal\ncontinuos=Continuous No\nlcd=1\n";
  {
    auto form = Start(tune, false);
    EXPECT_EQ(form->MaskEditTuneFreq->displayText(), "851.012.500");
    EXPECT_EQ(form->EditTuneChannel->text(), "10001");  // with the stored step
    EXPECT_EQ(form->ComboBoxTuneStep->currentIndex(), 0);
    EXPECT_EQ(form->ComboBoxTuneDir->currentIndex(), 1);
    EXPECT_TRUE(form->CheckBoxTune800->isChecked());
    EXPECT_TRUE(form->CheckBoxTuneSbep->isChecked());
    EXPECT_EQ(form->ComboBoxTuneModulation->currentIndex(), 3);
    EXPECT_EQ(form->ComboBoxTuneAudio->currentIndex(), 1);
    EXPECT_EQ(form->ComboBoxTuneContinuos->currentIndex(), 0);
    EXPECT_TRUE(form->CheckBoxTuneLCD->isChecked());
  }
  const TIniFile ini((dir_.Path() / "settings.ini").string());
  EXPECT_EQ(ini.ReadSection("tune"),
            (std::vector<std::string>{"freq", "step", "dir", "800", "sbep", "modulation", "audio",
                                      "continuos", "lcd"}));
  EXPECT_EQ(ini.ReadString("tune", "freq", ""), "851012500");
  EXPECT_EQ(ini.ReadString("tune", "step", ""), "5.0 KHz");  // the item's own text
  EXPECT_EQ(ini.ReadString("tune", "dir", ""), "TX");
  EXPECT_EQ(ini.ReadString("tune", "continuos", ""), "Continuous No");

  // Texts that name no item give the default positions.
  auto form =
      Start("[tune]\nstep=7 KHz\ndir=up\nmodulation=FM\naudio=loud\ncontinuos=maybe\n", false);
  EXPECT_EQ(form->ComboBoxTuneStep->currentIndex(), 1);
  EXPECT_EQ(form->ComboBoxTuneDir->currentIndex(), 0);
  EXPECT_EQ(form->ComboBoxTuneModulation->currentIndex(), 0);
  EXPECT_EQ(form->ComboBoxTuneAudio->currentIndex(), 0);
  EXPECT_EQ(form->ComboBoxTuneContinuos->currentIndex(), 1);
  EXPECT_EQ(form->EditTuneChannel->text(), "4480");
}

}  // namespace
}  // namespace kestrune::test
