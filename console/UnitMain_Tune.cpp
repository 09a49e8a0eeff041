// The Tune tab (a frequency, its channel number, the tune options and the
// favourites beside them) and the LCD tab (free text to the radio's display).
// The frames and their sequences are in console/ops/Tune.h; this file reads
// the controls and hands them over.
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "console/ConsoleLog.h"
#include "console/ErrorReport.h"
#include "console/UnitMain.h"
#include "console/WidgetKit.h"
#include "console/core/FreqMath.h"
#include "console/core/IniFile.h"
#include "console/core/IntConv.h"

namespace kestrune {

namespace {

const QString kDefaultTuneFreq = QStringLiteral("403000000");

}  // namespace

// ------------------------------------------------------------------ layout

QWidget* TForm1::BuildTuneTab() {
  TabSheet6 = Named(new QWidget, "TabSheet6");
  auto* layout = new QHBoxLayout(TabSheet6);
  layout->addWidget(BuildTunePanel(), 0, Qt::AlignTop);
  layout->addWidget(BuildFavouritesList(), 1);
  return TabSheet6;
}

QWidget* TForm1::BuildTunePanel() {
  auto* panel = Named(new QWidget, "PanelTune");
  MaskEditTuneFreq = Named(new QLineEdit, "MaskEditTuneFreq");
  MaskEditTuneFreq->setInputMask(QStringLiteral("999\\.999\\.999;_"));
  MaskEditTuneFreq->setText(kDefaultTuneFreq);
  EditTuneChannel = Named(new QLineEdit, "EditTuneChannel");
  EditTuneChannel->setReadOnly(true);
  EditTuneDescr = Named(new QLineEdit(QStringLiteral("Descr")), "EditTuneDescr");
  EditTuneDescr->setAccessibleName(QStringLiteral("Description"));
  ComboBoxTuneDir = ListCombo("ComboBoxTuneDir", {"RX", "TX"});
  QStringList steps;
  for (const std::string_view step : {kStepItemTexts[0], kStepItemTexts[1]})
    steps.append(QString::fromLatin1(step.data(), static_cast<qsizetype>(step.size())));
  ComboBoxTuneStep = ListCombo("ComboBoxTuneStep", steps);
  ComboBoxTuneStep->setCurrentIndex(1);
  CheckBoxTune800 = Named(new QCheckBox(QStringLiteral("800 MHz")), "CheckBoxTune800");
  CheckBoxTuneLCD = Named(new QCheckBox(QStringLiteral("To LCD")), "CheckBoxTuneLCD");
  ButtonApplyFreq = Named(new QPushButton(QStringLiteral("Apply Freq")), "ButtonApplyFreq");
  ButtonTuneAddFav = Named(new QPushButton(QStringLiteral("Add to Fav")), "ButtonTuneAddFav");

  auto* grid = new QGridLayout(panel);
  grid->addWidget(BuddyLabel(QStringLiteral("&Freq"), "LabelTuneFreq", MaskEditTuneFreq), 0, 0);
  grid->addWidget(MaskEditTuneFreq, 0, 1);
  grid->addWidget(BuddyLabel(QStringLiteral("C&han"), "LabelTuneChannel", EditTuneChannel), 1, 0);
  grid->addWidget(EditTuneChannel, 1, 1);
  grid->addWidget(EditTuneDescr, 2, 0, 1, 2);
  grid->addWidget(BuddyLabel(QStringLiteral("&Dir"), "LabelTuneDir", ComboBoxTuneDir), 3, 0);
  grid->addWidget(ComboBoxTuneDir, 3, 1);
  grid->addWidget(BuddyLabel(QStringLiteral("S&tep"), "LabelTuneStep", ComboBoxTuneStep), 4, 0);
  grid->addWidget(ComboBoxTuneStep, 4, 1);
  grid->addWidget(CheckBoxTune800, 5, 0, 1, 2);
  grid->addWidget(CheckBoxTuneLCD, 6, 0, 1, 2);
  // Beside the fields rather than below them, so the log keeps its room.
  grid->addWidget(BuildTuneSbepGroup(), 0, 2, 7, 1, Qt::AlignTop);
  grid->addWidget(ButtonApplyFreq, 7, 0, 1, 2);
  grid->addWidget(ButtonTuneAddFav, 7, 2);
  return panel;
}

QGroupBox* TForm1::BuildTuneSbepGroup() {
  GroupBoxTune = Named(new QGroupBox(QStringLiteral("SBEP")), "GroupBoxTune");
  CheckBoxTuneSbep = Named(new QCheckBox(QStringLiteral("Enable")), "CheckBoxTuneSbep");
  ComboBoxTuneModulation =
      ListCombo("ComboBoxTuneModulation", {"12.5KHz/C4FM", "25KHz/C4FM", "CQPSK", "Wide Pulse"});
  ComboBoxTuneAudio = ListCombo("ComboBoxTuneAudio", {"Mute", "Internal", "External"});
  MaskEditTuneFrames = Named(new QLineEdit, "MaskEditTuneFrames");
  MaskEditTuneFrames->setInputMask(QStringLiteral(">xxxx;_"));
  MaskEditTuneFrames->setText(QStringLiteral("00FF"));
  ComboBoxTuneContinuos = ListCombo("ComboBoxTuneContinuos", {"Continuous No", "Continuous Yes"});
  ComboBoxTuneContinuos->setCurrentIndex(1);

  // The lists are labelled too: on Linux an assistive tool names a list by
  // its current item ("Mute") unless a label names it.
  auto* grid = new QGridLayout(GroupBoxTune);
  grid->addWidget(CheckBoxTuneSbep, 0, 0, 1, 2);
  const auto addRow = [grid](int row, QLabel* label, QWidget* control) {
    grid->addWidget(label, row, 0);
    grid->addWidget(control, row, 1);
  };
  addRow(1,
         BuddyLabel(QStringLiteral("M&odulation"), "LabelTuneModulation", ComboBoxTuneModulation),
         ComboBoxTuneModulation);
  addRow(2, BuddyLabel(QStringLiteral("&Audio"), "LabelTuneAudio", ComboBoxTuneAudio),
         ComboBoxTuneAudio);
  addRow(3, BuddyLabel(QStringLiteral("fra&mes"), "LabelTuneFrames", MaskEditTuneFrames),
         MaskEditTuneFrames);
  addRow(4, BuddyLabel(QStringLiteral("&Continuous"), "LabelTuneContinuos", ComboBoxTuneContinuos),
         ComboBoxTuneContinuos);
  return GroupBoxTune;
}

QWidget* TForm1::BuildLcdTab() {
  TabSheet4 = Named(new QWidget, "TabSheet4");
  EditToLCD = Named(new QLineEdit(QStringLiteral("SELF CHECK")), "EditToLCD");
  EditToLCD->setAccessibleName(QStringLiteral("Display text"));
  ButtonToLCD = Named(new QPushButton(QStringLiteral("Send")), "ButtonToLCD");
  auto* row = new QHBoxLayout;
  row->addWidget(EditToLCD, 1);
  row->addWidget(ButtonToLCD);
  auto* layout = new QVBoxLayout(TabSheet4);
  layout->addLayout(row);
  layout->addStretch(1);
  return TabSheet4;
}

void TForm1::ConnectTuneHandlers() {
  // Also when the program writes the text (a favourite's "Edit" does).
  for (QLineEdit* edit : {MaskEditTuneFreq, MaskEditTuneFrames})
    connect(edit, &QLineEdit::textChanged, this,
            [this] { Guarded([this] { MaskEditTuneFreqChange(); }); });
  connect(ButtonApplyFreq, &QPushButton::clicked, this,
          [this] { Guarded([this] { ButtonApplyFreqClick(); }); });
  connect(ButtonToLCD, &QPushButton::clicked, this,
          [this] { Guarded([this] { ButtonToLCDClick(); }); });
}

// ---------------------------------------------------------------- handlers

void TForm1::MaskEditTuneFreqChange() {
  const std::optional<int32_t> freq = TryStrToInt(ToStd(MaskedText(*MaskEditTuneFreq)));
  const int32_t channel =
      freq ? FreqToChannel(*freq, GetStepHz(ComboBoxTuneStep->currentIndex())) : 0;
  EditTuneChannel->setText(QString::number(channel));
}

// The channel is computed afresh from the current step; EditTuneChannel is
// left as it is. The log line is written whatever the radio answered.
void TForm1::ButtonApplyFreqClick() {
  const int32_t freq = StrToInt(ToStd(MaskedText(*MaskEditTuneFreq)));
  TChannelSetting setting;
  setting.StepIndex = ComboBoxTuneStep->currentIndex();
  setting.Channel = FreqToChannel(freq, GetStepHz(setting.StepIndex));
  setting.Frames = static_cast<uint16_t>(HexToInt(ToStd(MaskedText(*MaskEditTuneFrames))));
  setting.Rx = ComboBoxTuneDir->currentIndex() == 0;
  setting.Is800 = CheckBoxTune800->isChecked();
  setting.Sbep = CheckBoxTuneSbep->isChecked();
  setting.ModulationIndex = ComboBoxTuneModulation->currentIndex();
  setting.AudioIndex = ComboBoxTuneAudio->currentIndex();
  setting.ContinuousIndex = ComboBoxTuneContinuos->currentIndex();

  if (!CheckPortOpen()) return;
  const bool toLcd = CheckBoxTuneLCD->isChecked();
  AsOperation("Apply Freq", [&] {
    RunOperation([&](TOperationContext& context) {
      kestrune::ApplyFreq(context, setting, static_cast<uint32_t>(freq), toLcd);
    });
  });
}

void TForm1::ButtonToLCDClick() {
  SendLcdText(TLcdParams{}, EditToLCD->text().toUtf8().toStdString());
}

bool TForm1::SetChannel(const TChannelSetting& setting) {
  if (!CheckPortOpen()) return false;
  return AsOperation("a channel setting", [&] {
    RunOperation([&](TOperationContext& context) { kestrune::SetChannel(context, setting); });
  });
}

void TForm1::SendLcdText(const TLcdParams& params, const std::string& text) {
  if (!CheckPortOpen()) return;
  AsOperation("the display text", [&] {
    RunOperation([&](TOperationContext& context) { kestrune::SendLcdText(context, params, text); });
  });
}

void TForm1::SendFreqToLcd(uint32_t freqHz) {
  if (!CheckPortOpen()) return;
  AsOperation("the display text", [&] {
    RunOperation([&](TOperationContext& context) { kestrune::SendFreqToLcd(context, freqHz); });
  });
}

// ---------------------------------------------------------------- settings

void TForm1::ReadTuneSection(const TIniFile& ini) {
  MaskEditTuneFreq->setText(FromStd(ini.ReadString("tune", "freq", ToStd(kDefaultTuneFreq))));
  ComboBoxTuneStep->setCurrentIndex(
      ReadComboIndex(*ComboBoxTuneStep, ini, "tune", "step", QString(), 1));
  ComboBoxTuneDir->setCurrentIndex(
      ReadComboIndex(*ComboBoxTuneDir, ini, "tune", "dir", QStringLiteral("RX"), 0));
  CheckBoxTune800->setChecked(ini.ReadBool("tune", "800", false));
  CheckBoxTuneSbep->setChecked(ini.ReadBool("tune", "sbep", false));
  ComboBoxTuneModulation->setCurrentIndex(
      ReadComboIndex(*ComboBoxTuneModulation, ini, "tune", "modulation", QString(), 0));
  ComboBoxTuneAudio->setCurrentIndex(
      ReadComboIndex(*ComboBoxTuneAudio, ini, "tune", "audio", QString(), 0));
  ComboBoxTuneContinuos->setCurrentIndex(
      ReadComboIndex(*ComboBoxTuneContinuos, ini, "tune", "continuos", QString(), 1));
  CheckBoxTuneLCD->setChecked(ini.ReadBool("tune", "lcd", false));
  // The channel of the stored frequency with the stored step.
  MaskEditTuneFreqChange();
}

void TForm1::WriteTuneSection(TIniFile& ini) const {
  ini.WriteString("tune", "freq", ToStd(MaskedText(*MaskEditTuneFreq)));
  ini.WriteString("tune", "step", ToStd(ComboBoxTuneStep->currentText()));
  ini.WriteString("tune", "dir", ToStd(ComboBoxTuneDir->currentText()));
  ini.WriteBool("tune", "800", CheckBoxTune800->isChecked());
  ini.WriteBool("tune", "sbep", CheckBoxTuneSbep->isChecked());
  ini.WriteString("tune", "modulation", ToStd(ComboBoxTuneModulation->currentText()));
  ini.WriteString("tune", "audio", ToStd(ComboBoxTuneAudio->currentText()));
  ini.WriteString("tune", "continuos", ToStd(ComboBoxTuneContinuos->currentText()));
  ini.WriteBool("tune", "lcd", CheckBoxTuneLCD->isChecked());
}

}  // namespace kestrune
