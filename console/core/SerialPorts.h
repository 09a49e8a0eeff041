// The serial devices present, for the window's Devices dialog and
// `kestrune-cli ports`: /dev/serial/by-id/* links with the USB vendor,
// product and serial number from sysfs, ttyUSB*, ttyACM*, and the ttyS*
// that have a real UART behind them. Nothing is opened: whether the user may
// open a device comes from its permissions, whether another program holds
// it from the system's lock table (/proc/locks).
//
// `root` is the folder that stands for "/" (tests hand in a fake tree with
// dev/, sys/ and proc/); the paths given back are the system's own
// ("/dev/ttyUSB0"), with the root left out.
//
// The Windows half lists nothing.
#pragma once

#include <string>
#include <vector>

#include "console/core/LineSettings.h"

namespace kestrune {

struct SerialPortInfo {
  std::string Path;  // the by-id link when there is one, else the node
  std::string Node;  // "/dev/ttyUSB0"
  std::string Vendor;
  std::string Product;
  std::string Serial;
  bool CanOpen = false;  // the user may read and write it
  bool Locked = false;   // another program holds its lock
};

std::vector<SerialPortInfo> ListSerialPorts(const std::string& root = "/");

// "COM1 = /dev/ttyUSB0" lines for COM1..COM4, each with its device and
// "(default)" where nothing is mapped, as the CLI and the dialog show them.
std::vector<std::string> DeviceMapLines(const DeviceMap& devices);

// One line per device: path, node, what it is, "can open"/"no permission",
// "locked" when held.
std::string DescribeSerialPort(const SerialPortInfo& port);

}  // namespace kestrune
