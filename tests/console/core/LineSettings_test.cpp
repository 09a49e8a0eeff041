// The [port] and [devices] sections and the checks both front ends share.
#include "console/core/LineSettings.h"

#include <gtest/gtest.h>

#include "console/core/IniFile.h"
#include "console/core/IntConv.h"

namespace kestrune {
namespace {

TEST(LineSettings, ReadWriteRoundTripAndOutOfRangePositionsAreTheFirstOnlyInRange) {
  TIniFile ini = TIniFile::FromBytes(
      "settings.ini", "[port]\nindex=2\nBaud=fast\nBits=7\nStopBits=9\nParity=4\nreopen=0\n");
  LineSettings settings = ReadLineSettings(ini);
  EXPECT_EQ(settings.PortName(), "COM3");
  EXPECT_EQ(settings.Baud, "fast");  // kept as typed, refused only when used
  EXPECT_EQ(settings.Bits, "7");
  EXPECT_EQ(settings.StopBits, 9);  // the window shows it as no choice
  EXPECT_EQ(settings.InRange().StopBits, 0);
  EXPECT_EQ(settings.Parity, 4);
  EXPECT_FALSE(settings.ReopenOnReturn);

  EXPECT_TRUE(ReadLineSettings(TIniFile::FromBytes("x.ini", "")).ReopenOnReturn);
  EXPECT_EQ(ReadLineSettings(TIniFile::FromBytes("x.ini", "[port]\nindex=7\n")).InRange().PortIndex,
            0);

  settings.Baud = "19200";
  settings.ReopenOnReturn = true;
  TIniFile written = TIniFile::FromBytes("x.ini", "");
  WriteLineSettings(written, settings);
  const LineSettings back = ReadLineSettings(written);
  EXPECT_EQ(back.PortIndex, 2);
  EXPECT_EQ(back.Baud, "19200");
  EXPECT_EQ(back.Parity, 4);
  EXPECT_TRUE(back.ReopenOnReturn);
}

TEST(LineSettings, EachRefusedValueHasItsOneMessage) {
  const auto message = [](auto check, const std::string& text) -> std::string {
    try {
      check(text);
    } catch (const ELineSettingError& e) {
      return e.what();
    }
    return "accepted";
  };
  EXPECT_EQ(message(CheckedBits, "9"), "''9'' is not a valid number of data bits (5 to 8)");
  EXPECT_EQ(message(CheckedBits, "4"), "''4'' is not a valid number of data bits (5 to 8)");
  EXPECT_EQ(message(CheckedBaud, "0"), "''0'' is not a valid baud rate (1 to 4000000)");
  EXPECT_EQ(message(CheckedBaud, "4000001"), "''4000001'' is not a valid baud rate (1 to 4000000)");
  EXPECT_THROW(CheckedBaud("fast"), EConvertError);
  EXPECT_EQ(CheckedBits("5"), 5);
  EXPECT_EQ(CheckedBaud("4000000"), 4'000'000);

  LineSettings settings;
  settings.PortIndex = 1;
  settings.Baud = "4800";
  const PortLine line = CheckedLine(settings);
  EXPECT_EQ(line.Name, "COM2");
  EXPECT_EQ(line.Baud, 4800);
  EXPECT_EQ(line.Bits, 8);
}

TEST(LineSettings, TheDeviceMapIsReadInUpperCaseAndDecidesWhereAPortGoes) {
  TIniFile ini = TIniFile::FromBytes(
      "x.ini", "[devices]\ncom2=/dev/serial/by-id/usb-X-if00-port0\nCOM3=\n; note\n");
  const DeviceMap devices = ReadDeviceMap(ini);
  EXPECT_EQ(devices, (DeviceMap{{"COM2", "/dev/serial/by-id/usb-X-if00-port0"}}));
  UseDeviceMap(devices);
  EXPECT_EQ(MappedDevice("COM2"), "/dev/serial/by-id/usb-X-if00-port0");
  EXPECT_EQ(MappedDevice("COM3"), "/dev/ttyS2");
  EXPECT_EQ(MappedDevice("/dev/ttyACM0"), "/dev/ttyACM0");
  UseDeviceMap({});

  TIniFile written = TIniFile::FromBytes("x.ini", "[devices]\nCOM1=/dev/old\n");
  WriteDeviceMap(written, {{"COM2", "/dev/ttyUSB0"}});
  EXPECT_EQ(ReadDeviceMap(written), (DeviceMap{{"COM2", "/dev/ttyUSB0"}}));
}

}  // namespace
}  // namespace kestrune
