// The serial devices of a fake /dev and /sys tree.
#include "console/core/SerialPorts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/FakeSerialTree.h"

namespace kestrune {
namespace {

using test::FakeSerialTree;

TEST(SerialPorts, ByIdLinksComeFirstWithTheirUsbFactsAndUartlessPortsAreLeftOut) {
  const FakeSerialTree tree;
  tree.Lock("ttyACM0");
  const std::vector<SerialPortInfo> ports = ListSerialPorts(tree.Root().string());
  ASSERT_EQ(ports.size(), 3u);
  EXPECT_EQ(ports[0].Path, FakeSerialTree::kFtdiById);
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
