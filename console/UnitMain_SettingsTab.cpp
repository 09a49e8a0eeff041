// The Settings tab: the port group with its Apply button, the log options,
// and the hidden station lists that only keep their setting.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "console/ConsoleLog.h"
#include "console/DevicesDialog.h"
#include "console/DialogSeam.h"
#include "console/ErrorReport.h"
#include "console/UnitMain.h"
#include "console/WidgetKit.h"
#include "console/core/SerialPorts.h"

namespace kestrune {

QWidget* TForm1::BuildSettingsTab() {
  auto* tab = Named(new QWidget, "TabSheet2");
  auto* layout = new QHBoxLayout(tab);
  layout->addWidget(BuildPortGroup(), 0, Qt::AlignTop);
  layout->addWidget(BuildLogGroup(), 0, Qt::AlignTop);
  layout->addWidget(BuildStationGroup(), 0, Qt::AlignTop);
  layout->addWidget(BuildFilesGroup(), 0, Qt::AlignTop);
  layout->addStretch(1);
  return tab;
}

QGroupBox* TForm1::BuildPortGroup() {
  QGroupBox* group = HeadedGroup(QStringLiteral("Port"), "GroupBoxPort");
  ComboBoxPortIndex = ListCombo("ComboBoxPortIndex", {"1", "2", "3", "4"});
  EditPortBaud = Named(new QLineEdit(QStringLiteral("9600")), "EditPortBaud");
  EditPortBits = Named(new QLineEdit(QStringLiteral("8")), "EditPortBits");
  ComboBoxPortStopBits = ListCombo("ComboBoxPortStopBits", {"1", "1.5", "2"});

  RadioGroupPortParity = Named(new QGroupBox(QStringLiteral("Parity")), "RadioGroupPortParity");
  // A group nested in a titled group would be announced by the outer title.
  RadioGroupPortParity->setAccessibleName(QStringLiteral("Parity"));
  parityButtons_ = new QButtonGroup(RadioGroupPortParity);
  auto* parityLayout = new QVBoxLayout(RadioGroupPortParity);
  const QStringList parities{"No", "Odd", "Even", "Mark", "Space"};
  for (int i = 0; i < parities.size(); ++i) {
    auto* radio = new QRadioButton(parities[i]);
    radio->setObjectName(QStringLiteral("RadioPortParity%1").arg(parities[i]));
    parityButtons_->addButton(radio, i);
    parityLayout->addWidget(radio);
  }
  SetParityIndex(0);
  ButtonPortApply = Named(new QPushButton(QStringLiteral("Apply")), "ButtonPortApply");
  CheckBoxPortReopen = Named(new QCheckBox(QStringLiteral("&Reopen when the adapter returns")),
                             "CheckBoxPortReopen");
  CheckBoxPortReopen->setChecked(true);

  auto* form = new QFormLayout(group);
  // Read-only, so an assistive tool and the keyboard can reach the path.
  EditPortDevice = Named(new QLineEdit, "EditPortDevice");
  EditPortDevice->setReadOnly(true);
  EditPortDevice->setAccessibleName(QStringLiteral("Device of the port"));
  ButtonDevices = Named(new QPushButton(QStringLiteral("De&vices…")), "ButtonDevices");
  auto* portRow = new QHBoxLayout;
  portRow->addWidget(ComboBoxPortIndex);
  portRow->addWidget(EditPortDevice, 1);
  portRow->addWidget(ButtonDevices);
  form->addRow(BuddyLabel(QStringLiteral("&Port"), "LabelPortIndex", ComboBoxPortIndex), portRow);
  form->addRow(BuddyLabel(QStringLiteral("&Baud"), "LabelPortBaud", EditPortBaud), EditPortBaud);
  form->addRow(BuddyLabel(QStringLiteral("B&its"), "LabelPortBits", EditPortBits), EditPortBits);
  form->addRow(BuddyLabel(QStringLiteral("&Stop bits"), "LabelPortStopBits", ComboBoxPortStopBits),
               ComboBoxPortStopBits);
  form->addRow(RadioGroupPortParity);
  form->addRow(CheckBoxPortReopen);
  form->addRow(ButtonPortApply);
  KeepNormalFont(group);
  return group;
}

QGroupBox* TForm1::BuildLogGroup() {
  QGroupBox* group = HeadedGroup(QStringLiteral("Log"), "GroupBoxLog");
  CheckBoxLogTransmit = Named(new QCheckBox(QStringLiteral("Log Transmit")), "CheckBoxLogTransmit");
  CheckBoxLogReceive = Named(new QCheckBox(QStringLiteral("Log Receive")), "CheckBoxLogReceive");
  CheckBoxLogToFile = Named(new QCheckBox(QStringLiteral("Log to file")), "CheckBoxLogToFile");
  CheckBoxLogTransmit->setChecked(true);
  CheckBoxLogReceive->setChecked(true);
  auto* layout = new QVBoxLayout(group);
  layout->addWidget(CheckBoxLogTransmit);
  layout->addWidget(CheckBoxLogReceive);
  layout->addWidget(CheckBoxLogToFile);
  KeepNormalFont(group);
  return group;
}

// Where this run keeps its settings and logs: shown, not edited (the place
// follows from the program's folder and the environment).
QGroupBox* TForm1::BuildFilesGroup() {
  QGroupBox* group = HeadedGroup(QStringLiteral("Files"), "GroupBoxFiles");
  EditSettingsFile = Named(new QLineEdit, "EditSettingsFile");
  EditLogFolder = Named(new QLineEdit, "EditLogFolder");
  auto* form = new QFormLayout(group);
  for (QLineEdit* edit : {EditSettingsFile, EditLogFolder}) {
    edit->setReadOnly(true);
    edit->setMinimumWidth(260);
  }
  form->addRow(BuddyLabel(QStringLiteral("Settings &file"), "LabelSettingsFile", EditSettingsFile),
               EditSettingsFile);
  form->addRow(BuddyLabel(QStringLiteral("Log f&older"), "LabelLogFolder", EditLogFolder),
               EditLogFolder);
  KeepNormalFont(group);
  return group;
}

QGroupBox* TForm1::BuildStationGroup() {
  // Nothing reads these lists; they only keep their setting from run to run.
  GroupBoxStation = Named(new QGroupBox(QStringLiteral("Station")), "GroupBoxStation");
  ComboBoxSettMinFreq =
      ListCombo("ComboBoxSettMinFreq", {"136000000", "403000000", "450000000", "806000000"});
  ComboBoxSettMaxFreq =
      ListCombo("ComboBoxSettMaxFreq", {"174000000", "470000000", "520000000", "870000000"});
  auto* form = new QFormLayout(GroupBoxStation);
  form->addRow(BuddyLabel(QStringLiteral("Min freq"), "LabelSettMinFreq", ComboBoxSettMinFreq),
               ComboBoxSettMinFreq);
  form->addRow(BuddyLabel(QStringLiteral("Max freq"), "LabelSettMaxFreq", ComboBoxSettMaxFreq),
               ComboBoxSettMaxFreq);
  GroupBoxStation->hide();
  return GroupBoxStation;
}

void TForm1::ConnectSettingsTabHandlers() {
  connect(ButtonPortApply, &QPushButton::clicked, this,
          [this] { Guarded([this] { ButtonPortApplyClick(); }); });
  connect(ButtonDevices, &QPushButton::clicked, this,
          [this] { Guarded([this] { ButtonDevicesClick(); }); });
  connect(ComboBoxPortIndex, &QComboBox::currentIndexChanged, this, [this] { ShowMappedDevice(); });
  for (QCheckBox* box : {CheckBoxLogTransmit, CheckBoxLogReceive})
    connect(box, &QCheckBox::toggled, this,
            [this] { Guarded([this] { CheckBoxLogTransmitClick(); }); });
  // Not a handler: the event thread needs the state without touching the box.
  connect(CheckBoxLogToFile, &QCheckBox::toggled, this,
          [](bool on) { ConsoleLog().LogToFile = on; });
  // Only the operator's choice runs the handler, not the settings reader.
  connect(ComboBoxSettMinFreq, &QComboBox::activated, this,
          [this] { Guarded([this] { ComboBoxSettMinFreqChange(); }); });
}

// Not an exchange: allowed while a memory transfer runs.
void TForm1::CheckBoxLogTransmitClick() {
  if (CheckEngine())
    fSb9600->SetLog(LogLine, LogDump, CheckBoxLogTransmit->isChecked(),
                    CheckBoxLogReceive->isChecked());
}

void TForm1::ComboBoxSettMinFreqChange() {
  ComboBoxSettMaxFreq->setCurrentIndex(ComboBoxSettMinFreq->currentIndex());
}

// The map takes effect at once for the next Apply (or reopening); the
// settings file gets it at close, as every other setting.
void TForm1::ButtonDevicesClick() {
  DevicesDialog dialog(ListSerialPorts(options_.DeviceRoot), deviceMap_,
                       ComboBoxPortIndex->currentIndex(), this);
  if (!RunModalDialog(dialog)) return;
  deviceMap_ = dialog.Devices();
  deviceMapChanged_ = true;
  UseDeviceMap(deviceMap_);
  ShowMappedDevice();
}

void TForm1::ShowMappedDevice() {
  const int index = ComboBoxPortIndex->currentIndex();
  const QString device =
      index < 0 ? QString() : FromStd(MappedDevice("COM" + std::to_string(index + 1)));
  EditPortDevice->setText(device);
}

int TForm1::ParityIndex() const { return parityButtons_->checkedId(); }

void TForm1::SetParityIndex(int index) {
  if (QAbstractButton* button = parityButtons_->button(index)) {
    button->setChecked(true);
    return;
  }
  // Out of range: nothing selected, as with a list given a position it lacks.
  parityButtons_->setExclusive(false);
  for (QAbstractButton* button : parityButtons_->buttons()) button->setChecked(false);
  parityButtons_->setExclusive(true);
}

LineSettings TForm1::ShownLineSettings() const {
  LineSettings settings;
  settings.PortIndex = ComboBoxPortIndex->currentIndex();
  settings.Baud = ToStd(EditPortBaud->text());
  settings.Bits = ToStd(EditPortBits->text());
  settings.StopBits = ComboBoxPortStopBits->currentIndex();
  settings.Parity = ParityIndex();
  settings.ReopenOnReturn = CheckBoxPortReopen->isChecked();
  return settings;
}

void TForm1::ShowLineSettings(const LineSettings& settings) {
  ComboBoxPortIndex->setCurrentIndex(settings.PortIndex);
  EditPortBaud->setText(FromStd(settings.Baud));
  EditPortBits->setText(FromStd(settings.Bits));
  ComboBoxPortStopBits->setCurrentIndex(settings.StopBits);
  SetParityIndex(settings.Parity);
  CheckBoxPortReopen->setChecked(settings.ReopenOnReturn);
}

}  // namespace kestrune
