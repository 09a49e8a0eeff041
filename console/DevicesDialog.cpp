#include "console/DevicesDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "console/WidgetKit.h"

namespace kestrune {

DevicesDialog::DevicesDialog(std::vector<SerialPortInfo> ports, DeviceMap devices, int portIndex,
                             QWidget* parent)
    : QDialog(parent), ports_(std::move(ports)), devices_(std::move(devices)) {
  setObjectName(QStringLiteral("DevicesDialog"));
  setWindowTitle(QStringLiteral("Devices"));

  ListDevices = Named(new QTreeWidget, "ListDevices");
  ListDevices->setHeaderLabels({"Device", "Vendor", "Product", "Serial", "Access", "Lock"});
  ListDevices->setRootIsDecorated(false);
  ListDevices->setAllColumnsShowFocus(true);
  ListDevices->setMinimumWidth(640);
  ComboBoxDevicePort = ListCombo("ComboBoxDevicePort", {"COM1", "COM2", "COM3", "COM4"});
  ComboBoxDevicePort->setCurrentIndex(portIndex);
  EditDevicePath = Named(new QLineEdit, "EditDevicePath");
  ButtonAssign = Named(new QPushButton(QStringLiteral("&Assign")), "ButtonAssign");
  LabelDeviceMap = Named(new QLabel, "LabelDeviceMap");
  LabelDeviceMap->setAccessibleName(QStringLiteral("Assigned devices"));
  LabelDeviceMap->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->setObjectName(QStringLiteral("DevicesButtons"));

  auto* form = new QFormLayout;
  form->addRow(
      BuddyLabel(QStringLiteral("Serial de&vices present"), "LabelListDevices", ListDevices));
  form->addRow(ListDevices);
  form->addRow(BuddyLabel(QStringLiteral("&Port"), "LabelDevicePort", ComboBoxDevicePort),
               ComboBoxDevicePort);
  form->addRow(BuddyLabel(QStringLiteral("Device pa&th"), "LabelDevicePath", EditDevicePath),
               EditDevicePath);
  form->addRow(ButtonAssign);
  form->addRow(LabelDeviceMap);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);

  connect(ListDevices, &QTreeWidget::currentItemChanged, this, [this] { TakeSelectedDevice(); });
  connect(ButtonAssign, &QPushButton::clicked, this, [this] { Assign(); });
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  FillList();
  ShowMap();
}

void DevicesDialog::FillList() {
  for (const SerialPortInfo& port : ports_) {
    auto* row = new QTreeWidgetItem(ListDevices);
    row->setText(0, FromStd(port.Path));
    row->setToolTip(0, FromStd(port.Node));
    row->setText(1, FromStd(port.Vendor));
    row->setText(2, FromStd(port.Product));
    row->setText(3, FromStd(port.Serial));
    row->setText(4, port.CanOpen ? QStringLiteral("can open") : QStringLiteral("no permission"));
    row->setText(5, port.Locked ? QStringLiteral("locked") : QStringLiteral("free"));
  }
  for (int column = 0; column < ListDevices->columnCount(); ++column)
    ListDevices->resizeColumnToContents(column);
}

void DevicesDialog::ShowMap() {
  QStringList lines;
  for (const std::string& line : DeviceMapLines(devices_)) lines << FromStd(line);
  LabelDeviceMap->setText(lines.join(u'\n'));
  LabelDeviceMap->setAccessibleDescription(lines.join(QStringLiteral("; ")));
}

// The by-id link is what the list shows first: it names the same adapter
// whichever order the adapters were plugged in.
void DevicesDialog::TakeSelectedDevice() {
  if (const QTreeWidgetItem* row = ListDevices->currentItem())
    EditDevicePath->setText(row->text(0));
}

// An empty path gives the port back its default device.
void DevicesDialog::Assign() {
  const std::string name = ToStd(ComboBoxDevicePort->currentText());
  const std::string path = ToStd(EditDevicePath->text().trimmed());
  if (path.empty())
    devices_.erase(name);
  else
    devices_[name] = path;
  ShowMap();
}

}  // namespace kestrune
