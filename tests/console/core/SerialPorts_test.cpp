// The serial devices of a fake /dev and /sys tree.
#include "console/core/SerialPorts.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tests/support/Files.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;

void WriteText(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << text << "\n";
}

// An FTDI adapter on ttyUSB0 with its by-id link, a bare ttyACM0, ttyS0 with
// a UART and ttyS1 without one.
class FakeTree {
 public:
  FakeTree() {
    const fs::path dev = Root() / "dev";
    for (const char* node : {"ttyUSB0", "ttyACM0", "ttyS0", "ttyS1", "tty0"})
      WriteText(dev / node, "");
    fs::create_directories(dev / "serial/by-id");
    fs::create_symlink("../../ttyUSB0", dev / "serial/by-id/usb-FTDI_FT232R_A1B2-if00-port0");

    const fs::path usb = Root() / "sys/devices/pci0/usb1/1-1";
    WriteText(usb / "idVendor", "0403");
    WriteText(usb / "idProduct", "6001");
    WriteText(usb / "manufacturer", "FTDI");
    WriteText(usb / "product", "FT232R USB UART");
    WriteText(usb / "serial", "A1B2");
    fs::create_directories(usb / "1-1:1.0/ttyUSB0");
    fs::create_directories(Root() / "sys/class/tty/ttyUSB0");
    fs::create_symlink("../../../devices/pci0/usb1/1-1/1-1:1.0/ttyUSB0",
                       Root() / "sys/class/tty/ttyUSB0/device");
    WriteText(Root() / "sys/class/tty/ttyS0/type", "4");
    WriteText(Root() / "sys/class/tty/ttyS1/type", "0");
  }
  fs::path Root() const { return scratch_.Path(); }
  // Another program's flock on the node, as /proc/locks shows it.
  void Lock(const std::string& node) const {
    struct stat info {};
    ASSERT_EQ(stat((Root() / "dev" / node).c_str(), &info), 0);
    char line[128];
    std::snprintf(line, sizeof line, "1: FLOCK  ADVISORY  WRITE 4242 %02x:%02x:%llu 0 EOF",
                  major(info.st_dev), minor(info.st_dev),
                  static_cast<unsigned long long>(info.st_ino));
    WriteText(Root() / "proc/locks", line);
  }

 private:
  test::ScratchDir scratch_;
};

TEST(SerialPorts, ByIdLinksComeFirstWithTheirUsbFactsAndUartlessPortsAreLeftOut) {
  const FakeTree tree;
  tree.Lock("ttyACM0");
  const std::vector<SerialPortInfo> ports = ListSerialPorts(tree.Root().string());
  ASSERT_EQ(ports.size(), 3u);
  EXPECT_EQ(ports[0].Path, "/dev/serial/by-id/usb-FTDI_FT232R_A1B2-if00-port0");
  EXPECT_EQ(ports[0].Node, "/dev/ttyUSB0");
  EXPECT_EQ(ports[0].Vendor, "FTDI");
  EXPECT_EQ(ports[0].Product, "FT232R USB UART");
  EXPECT_EQ(ports[0].Serial, "A1B2");
  EXPECT_TRUE(ports[0].CanOpen);
  EXPECT_FALSE(ports[0].Locked);
  EXPECT_EQ(ports[1].Path, "/dev/ttyACM0");
  EXPECT_TRUE(ports[1].Locked);
  EXPECT_EQ(ports[2].Path, "/dev/ttyS0");
  EXPECT_EQ(DescribeSerialPort(ports[0]),
            "/dev/serial/by-id/usb-FTDI_FT232R_A1B2-if00-port0 -> /dev/ttyUSB0  FTDI FT232R USB "
            "UART, serial A1B2  can open");
  EXPECT_EQ(DescribeSerialPort(ports[1]), "/dev/ttyACM0  can open, locked");
}

TEST(SerialPorts, TheMapShowsEachComPortAndItsDefault) {
  EXPECT_EQ(
      DeviceMapLines({{"COM2", "/dev/serial/by-id/x"}}),
      (std::vector<std::string>{"COM1 = /dev/ttyS0 (default)", "COM2 = /dev/serial/by-id/x",
                                "COM3 = /dev/ttyS2 (default)", "COM4 = /dev/ttyS3 (default)"}));
}

}  // namespace
}  // namespace kestrune
