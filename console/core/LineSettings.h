// The serial line the console talks over: which COMn, its rate and framing,
// and the devices COM1..COM4 stand for. The window and kestrune-cli read and
// write the settings file's [port] and [devices] sections here only, and
// check the values with the same functions, so a value one of them refuses
// the other refuses with the same message.
//
//   [port]                       [devices]
//   index=0      COM1..COM4      COM1=/dev/serial/by-id/usb-FTDI_...-if00-port0
//   Baud=9600    as typed        COM2=/dev/ttyUSB0
//   Bits=8       as typed
//   StopBits=0   1, 1.5, 2
//   Parity=0     none, odd, even, mark, space
//   reopen=1     reopen an unplugged adapter when it returns
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>

namespace kestrune {

class TIniFile;

inline constexpr int32_t kPortCount = 4;  // COM1..COM4
inline constexpr int32_t kMaxBaud = 4'000'000;

// A value of the line that cannot be used; the message names it.
class ELineSettingError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// The settings as the operator gave them; the baud rate and the data bits
// are kept as typed, since a text that is not a number is still stored.
struct LineSettings {
  int32_t PortIndex = 0;  // 0..3: COM1..COM4
  std::string Baud = "9600";
  std::string Bits = "8";
  int32_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
  int32_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  bool ReopenOnReturn = true;

  std::string PortName() const;  // "COM1".."COM4"
  // The same with every list position outside its list as the first entry.
  LineSettings InRange() const;
};

// The line as the port opens it: every value checked.
struct PortLine {
  std::string Name = "COM1";  // a COM name, or a device path
  int32_t Baud = 9600;
  int32_t Bits = 8;
  int32_t StopBits = 0;
  int32_t Parity = 0;
};

// The one reader and the one writer of [port]. Stored list positions are
// read as they are: the window shows one outside its list as no choice.
LineSettings ReadLineSettings(const TIniFile& ini);
void WriteLineSettings(TIniFile& ini, const LineSettings& settings);

// The checks, one message each. A text that is no integer throws the
// conversion error of IntConv.h; a number out of range throws
// ELineSettingError: "''9'' is not a valid number of data bits (5 to 8)".
int32_t CheckedBaud(const std::string& text);
int32_t CheckedBits(const std::string& text);
PortLine CheckedLine(const LineSettings& settings);

// [devices]: COM name (upper case) to device path; empty paths are left out.
using DeviceMap = std::map<std::string, std::string>;
DeviceMap ReadDeviceMap(const TIniFile& ini);
void WriteDeviceMap(TIniFile& ini, const DeviceMap& devices);
// Makes the map the one every port opened from now on uses.
void UseDeviceMap(const DeviceMap& devices);
// The device a port name stands for now: its mapped path, /dev/ttyS(n-1) for
// an unmapped COMn, a path as it is.
std::string MappedDevice(const std::string& portName);

}  // namespace kestrune
