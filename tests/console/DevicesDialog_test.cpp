// The Devices dialog as the Settings tab opens it, over a fake tree of
// serial devices: what it lists, assigning a device to a COM port from the
// keyboard, and where the choice goes (the Settings tab's device field and
// the [devices] section of settings.ini).
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <string>

#include "console/DevicesDialog.h"
#include "console/DialogSeam.h"
#include "tests/support/FakeSerialTree.h"
#include "tests/support/Window.h"

namespace kestrune::test {
namespace {

const QString kFtdi = QString::fromLatin1(FakeSerialTree::kFtdiById);

class DevicesDialogTest : public WindowTest {
 protected:
  void TearDown() override { SetModalDialogSink({}); }

  // The window over the fake tree, with settings.ini holding `settings`.
  std::unique_ptr<TForm1> OpenOnTree(const std::string& settings = "") {
    dir_.Write("settings.ini", settings);
    TForm1Options options;
    options.PortFactory = NoDevicePorts();
    options.DeviceRoot = tree_.Root().string();
    return OpenWindow(std::move(options));
  }

  // Presses "Devices…"; `answer` works the dialog and says whether it is
  // accepted. False when no Devices dialog came.
  bool PressDevices(TForm1& form, const std::function<bool(DevicesDialog&)>& answer) {
    bool came = false;
    SetModalDialogSink([&](QDialog& dialog) {
      auto* devices = dynamic_cast<DevicesDialog*>(&dialog);
      came = devices != nullptr;
      return came && answer(*devices);
    });
    QTest::mouseClick(form.ButtonDevices, Qt::LeftButton);
    SetModalDialogSink({});
    return came;
  }

  // The device the Settings tab shows for COMn.
  static QString DeviceShownFor(TForm1& form, int n) {
    form.ComboBoxPortIndex->setCurrentIndex(n - 1);
    return form.EditPortDevice->text();
  }

  // Assigns what the path field holds to the port `steps` below the current
  // one, as the keyboard does it.
  static void AssignDown(DevicesDialog& dialog, int steps) {
    for (int i = 0; i < steps; ++i) QTest::keyClick(dialog.ComboBoxDevicePort, Qt::Key_Down);
    QTest::keyClick(dialog.ButtonAssign, Qt::Key_Space);
  }

  FakeSerialTree tree_;
};

TEST_F(DevicesDialogTest, ListsTheDevicesPresentWithVendorProductAccessAndLock) {
  tree_.Lock("ttyACM0");
  auto form = OpenOnTree();
  ASSERT_TRUE(PressDevices(*form, [](DevicesDialog& dialog) {
    QTreeWidget* list = dialog.ListDevices;
    EXPECT_EQ(list->topLevelItemCount(), 3);
    if (list->topLevelItemCount() != 3) return false;
    const QTreeWidgetItem* ftdi = list->topLevelItem(0);
    EXPECT_EQ(ftdi->text(0), kFtdi);
    EXPECT_EQ(ftdi->toolTip(0), "/dev/ttyUSB0");
    EXPECT_EQ(ftdi->text(1), "FTDI");
    EXPECT_EQ(ftdi->text(2), "FT232R USB UART");
    EXPECT_EQ(ftdi->text(3), "A1B2");
    EXPECT_EQ(ftdi->text(5), "free");
    EXPECT_EQ(list->topLevelItem(1)->text(0), "/dev/ttyACM0");
    EXPECT_EQ(list->topLevelItem(1)->text(5), "locked");
    EXPECT_EQ(list->topLevelItem(2)->text(0), "/dev/ttyS0");
    // The dialog starts on the port the Settings tab shows.
    EXPECT_EQ(dialog.ComboBoxDevicePort->currentText(), "COM1");
    EXPECT_EQ(dialog.LabelDeviceMap->text(),
              "COM1 = /dev/ttyS0 (default)\nCOM2 = /dev/ttyS1 (default)\n"
              "COM3 = /dev/ttyS2 (default)\nCOM4 = /dev/ttyS3 (default)");
    return false;
  }));
}

TEST_F(DevicesDialogTest, APickedAndATypedDeviceAreKeptInTheSettingsAndShownOnTheTab) {
  auto form = OpenOnTree();
  ASSERT_TRUE(PressDevices(*form, [](DevicesDialog& dialog) {
    // The first row, chosen from the keyboard, fills the path with its
    // by-id link; COM2 is one step down from COM1.
    dialog.ListDevices->setFocus();
    QTest::keyClick(dialog.ListDevices, Qt::Key_End);
    QTest::keyClick(dialog.ListDevices, Qt::Key_Home);
    EXPECT_EQ(dialog.EditDevicePath->text(), kFtdi);
    AssignDown(dialog, 1);
    // A typed path goes to COM3.
    dialog.EditDevicePath->clear();
    QTest::keyClicks(dialog.EditDevicePath, "/dev/ttyUSB7");
    AssignDown(dialog, 1);
    EXPECT_EQ(dialog.LabelDeviceMap->text(),
              "COM1 = /dev/ttyS0 (default)\nCOM2 = " + kFtdi +
                  "\nCOM3 = /dev/ttyUSB7\nCOM4 = /dev/ttyS3 (default)");
    return true;
  }));
  EXPECT_EQ(DeviceShownFor(*form, 2), kFtdi);
  EXPECT_EQ(DeviceShownFor(*form, 3), "/dev/ttyUSB7");
  EXPECT_EQ(DeviceShownFor(*form, 1), "/dev/ttyS0");

  form.reset();  // settings.ini is written at close
  const std::string settings = ReadFile(dir_.Path() / "settings.ini");
  EXPECT_NE(settings.find("COM2=" + kFtdi.toStdString()), std::string::npos) << settings;
  EXPECT_NE(settings.find("COM3=/dev/ttyUSB7"), std::string::npos) << settings;
  EXPECT_EQ(settings.find("COM1="), std::string::npos) << settings;

  // The next start shows the stored map.
  TForm1Options options;
  options.PortFactory = NoDevicePorts();
  form = OpenWindow(std::move(options));
  EXPECT_EQ(DeviceShownFor(*form, 2), kFtdi);
}

TEST_F(DevicesDialogTest, CancelKeepsTheMapAndAnEmptyPathGivesThePortItsDefault) {
  auto form = OpenOnTree("[devices]\nCOM1=/dev/ttyUSB5\nCOM2=/dev/ttyACM0\n");
  ASSERT_TRUE(PressDevices(*form, [](DevicesDialog& dialog) {
    dialog.EditDevicePath->setText(QStringLiteral("/dev/ttyUSB9"));
    AssignDown(dialog, 0);
    return false;
  }));
  EXPECT_EQ(DeviceShownFor(*form, 1), "/dev/ttyUSB5");

  ASSERT_TRUE(PressDevices(*form, [](DevicesDialog& dialog) {
    EXPECT_EQ(dialog.ComboBoxDevicePort->currentText(), "COM1");
    dialog.EditDevicePath->clear();
    AssignDown(dialog, 0);
    return true;
  }));
  EXPECT_EQ(DeviceShownFor(*form, 1), "/dev/ttyS0");
  EXPECT_EQ(DeviceShownFor(*form, 2), "/dev/ttyACM0");
  form.reset();
  const std::string settings = ReadFile(dir_.Path() / "settings.ini");
  EXPECT_EQ(settings.find("COM1="), std::string::npos) << settings;
  EXPECT_NE(settings.find("COM2=/dev/ttyACM0"), std::string::npos) << settings;
}

}  // namespace
}  // namespace kestrune::test
