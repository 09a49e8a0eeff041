#include "tests/support/FakeSerialTree.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace kestrune::test {

namespace {

void WriteLine(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << text << "\n";
}

}  // namespace

FakeSerialTree::FakeSerialTree() {
  const fs::path dev = Root() / "dev";
  for (const char* node : {"ttyUSB0", "ttyACM0", "ttyS0", "ttyS1", "tty0"})
    WriteLine(dev / node, "");
  fs::create_directories(dev / "serial/by-id");
  fs::create_symlink("../../ttyUSB0", dev / "serial/by-id/usb-FTDI_FT232R_A1B2-if00-port0");

  const fs::path usb = Root() / "sys/devices/pci0/usb1/1-1";
  WriteLine(usb / "idVendor", "0403");
  WriteLine(usb / "idProduct", "6001");
  WriteLine(usb / "manufacturer", "FTDI");
  WriteLine(usb / "product", "FT232R USB UART");
  WriteLine(usb / "serial", "A1B2");
  fs::create_directories(usb / "1-1:1.0/ttyUSB0");
  fs::create_directories(Root() / "sys/class/tty/ttyUSB0");
  fs::create_symlink("../../../devices/pci0/usb1/1-1/1-1:1.0/ttyUSB0",
                     Root() / "sys/class/tty/ttyUSB0/device");
  WriteLine(Root() / "sys/class/tty/ttyS0/type", "4");
  WriteLine(Root() / "sys/class/tty/ttyS1/type", "0");
}

void FakeSerialTree::Lock(const std::string& node) const {
  struct stat info {};
  if (stat((Root() / "dev" / node).c_str(), &info) != 0)
    throw std::runtime_error("no node " + node + " to lock");
  char line[128];
  std::snprintf(line, sizeof line, "1: FLOCK  ADVISORY  WRITE 4242 %02x:%02x:%llu 0 EOF",
                major(info.st_dev), minor(info.st_dev),
                static_cast<unsigned long long>(info.st_ino));
  WriteLine(Root() / "proc/locks", line);
}

}  // namespace kestrune::test
