// The Devices dialog of the Settings tab: the serial devices present, and
// which device each of COM1..COM4 stands for. The operator picks a device
// in the list (its by-id link when it has one) or types a path, chooses the
// COM port and presses Assign; OK keeps the map. Every control is named
// for assistive tools and reachable from the keyboard.
#pragma once

#include <QDialog>
#include <vector>

#include "console/core/LineSettings.h"
#include "console/core/SerialPorts.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace kestrune {

class DevicesDialog : public QDialog {
 public:
  DevicesDialog(std::vector<SerialPortInfo> ports, DeviceMap devices, int portIndex,
                QWidget* parent = nullptr);

  const DeviceMap& Devices() const { return devices_; }

  QTreeWidget* ListDevices = nullptr;
  QComboBox* ComboBoxDevicePort = nullptr;
  QLineEdit* EditDevicePath = nullptr;
  QPushButton* ButtonAssign = nullptr;
  QLabel* LabelDeviceMap = nullptr;  // COM1 = ..., one line each

 private:
  void FillList();
  void ShowMap();
  void TakeSelectedDevice();
  void Assign();

  std::vector<SerialPortInfo> ports_;
  DeviceMap devices_;
};

}  // namespace kestrune
