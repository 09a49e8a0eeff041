// Reading and writing "settings.ini": every section, in the one order in
// which start-up reads them and shutdown writes them.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "console/UnitMain.h"
#include "console/WidgetKit.h"
#include "console/core/IniFile.h"
#include "console/core/LineSettings.h"

namespace kestrune {

int ReadComboIndex(const QComboBox& combo, const TIniFile& ini, const std::string& section,
                   const std::string& key, const QString& defaultText, int defaultPosition) {
  const QString stored = FromStd(ini.ReadString(section, key, ToStd(defaultText)));
  for (int i = 0; i < combo.count(); ++i)
    if (combo.itemText(i).compare(stored, Qt::CaseInsensitive) == 0) return i;
  return defaultPosition;
}

// The settings sections in file order, each with its reader and writer. A
// tab that keeps settings adds its row at its place in this list:
//   port, log, favorites, buttons1..5, mem, scan, tune, sett.
std::vector<TForm1::SettingsSection> TForm1::SettingsSections() {
  return {
      {&TForm1::ReadPortSection, &TForm1::WritePortSection},
      {&TForm1::ReadDevicesSection, &TForm1::WriteDevicesSection},
      {&TForm1::ReadLogSection, &TForm1::WriteLogSection},
      {&TForm1::ReadFavoritesSection, &TForm1::WriteFavoritesSection},
      {&TForm1::ReadButtonSections, &TForm1::WriteButtonSections},
      {&TForm1::ReadMemSection, &TForm1::WriteMemSection},
      {&TForm1::ReadScanSection, &TForm1::WriteScanSection},
      {&TForm1::ReadTuneSection, &TForm1::WriteTuneSection},
      {&TForm1::ReadSettSection, &TForm1::WriteSettSection},
  };
}

void TForm1::ReadSettings(const TIniFile& ini) {
  for (const SettingsSection& section : SettingsSections()) (this->*section.Read)(ini);
}

void TForm1::WriteSettings(TIniFile& ini) const {
  for (const SettingsSection& section : SettingsSections()) (this->*section.Write)(ini);
}

void TForm1::ReadPortSection(const TIniFile& ini) { ShowLineSettings(ReadLineSettings(ini)); }

// Read before the port section, so the port's device shows at once; kept as
// the operator wrote it unless the Devices dialog changed it.
void TForm1::ReadDevicesSection(const TIniFile& ini) {
  deviceMap_ = ReadDeviceMap(ini);
  deviceMapChanged_ = false;
  UseDeviceMap(deviceMap_);
  ShowMappedDevice();
}

void TForm1::WriteDevicesSection(TIniFile& ini) const {
  if (deviceMapChanged_) WriteDeviceMap(ini, deviceMap_);
}

void TForm1::WritePortSection(TIniFile& ini) const { WriteLineSettings(ini, ShownLineSettings()); }

// A state that differs from the current one runs the click handler, which
// logs "Port is not open": no engine exists yet.
void TForm1::ReadLogSection(const TIniFile& ini) {
  CheckBoxLogTransmit->setChecked(ini.ReadBool("log", "transmit", false));
  CheckBoxLogReceive->setChecked(ini.ReadBool("log", "receive", true));
  CheckBoxLogToFile->setChecked(ini.ReadBool("log", "tofile", false));
}

void TForm1::WriteLogSection(TIniFile& ini) const {
  ini.WriteBool("log", "transmit", CheckBoxLogTransmit->isChecked());
  ini.WriteBool("log", "receive", CheckBoxLogReceive->isChecked());
  ini.WriteBool("log", "tofile", CheckBoxLogToFile->isChecked());
}

void TForm1::ReadButtonSections(const TIniFile& ini) {
  for (int page = 1; page <= kCommandPages; ++page) ReadButtonSection(ini, page);
}

void TForm1::WriteButtonSections(TIniFile& ini) const {
  for (int page = 1; page <= kCommandPages; ++page) {
    if (!TabSheetCmd[page - 1]) continue;
    const std::string section = "buttons" + std::to_string(page);
    ini.EraseSection(section);
    for (int j = 0; j < kButtonsPerPage; ++j) {
      const QPushButton* button = CommandButton(page, j);
      ini.WriteString(section, ToStd(button->objectName()),
                      ToStd(button->text() + u';' + ButtonHint(button)));
    }
  }
}

void TForm1::ReadSettSection(const TIniFile& ini) {
  const int minFreq = ReadComboIndex(*ComboBoxSettMinFreq, ini, "sett", "minfreq", QString(), 0);
  ComboBoxSettMinFreq->setCurrentIndex(minFreq);
  ComboBoxSettMaxFreq->setCurrentIndex(minFreq);
}

void TForm1::WriteSettSection(TIniFile& ini) const {
  ini.WriteString("sett", "minfreq", ToStd(ComboBoxSettMinFreq->currentText()));
}

}  // namespace kestrune
