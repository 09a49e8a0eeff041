#include "serial/SerialDevices.h"

#include <gtest/gtest.h>

namespace kestrune {
namespace {

class SerialDevicesTest : public ::testing::Test {
 protected:
  void TearDown() override { SetSerialDeviceMap({}); }
};

TEST_F(SerialDevicesTest, ComNamesWithoutAnEntryAreTheOnBoardPorts) {
  EXPECT_EQ(ResolveSerialDevice("COM1"), "/dev/ttyS0");
  EXPECT_EQ(ResolveSerialDevice("COM4"), "/dev/ttyS3");
  EXPECT_EQ(ResolveSerialDevice("com2"), "/dev/ttyS1");
  EXPECT_EQ(ResolveSerialDevice("COM12"), "/dev/ttyS11");
}

TEST_F(SerialDevicesTest, TheTableComesFirstAndPathsStayAsTheyAre) {
  SetSerialDeviceMap({{"COM1", "/dev/ttyUSB0"},
                      {"COM2", "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0"},
                      {"COM3", ""}});
  EXPECT_EQ(ResolveSerialDevice("COM1"), "/dev/ttyUSB0");
  EXPECT_EQ(ResolveSerialDevice("COM2"), "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0");
  EXPECT_EQ(ResolveSerialDevice("COM3"), "/dev/ttyS2");  // an empty value is no entry
  EXPECT_EQ(ResolveSerialDevice("/dev/pts/7"), "/dev/pts/7");
}

TEST_F(SerialDevicesTest, OtherNamesAreLeftAlone) {
  EXPECT_EQ(ResolveSerialDevice("COM"), "COM");
  EXPECT_EQ(ResolveSerialDevice("COM0"), "COM0");
  EXPECT_EQ(ResolveSerialDevice("COMX"), "COMX");
  EXPECT_EQ(ResolveSerialDevice("ttyUSB0"), "ttyUSB0");
}

}  // namespace
}  // namespace kestrune
