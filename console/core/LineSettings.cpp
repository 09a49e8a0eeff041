#include "console/core/LineSettings.h"

#include <cctype>

#include "console/core/IniFile.h"
#include "console/core/IntConv.h"
#include "serial/SerialDevices.h"

namespace kestrune {
namespace {

constexpr int32_t kStopBitChoices = 3;
constexpr int32_t kParityChoices = 5;

int32_t PositionOrFirst(int32_t position, int32_t count) {
  return position >= 0 && position < count ? position : 0;
}

int32_t CheckedNumber(const std::string& text, int32_t min, int32_t max, const std::string& what) {
  const int32_t value = StrToInt(text);
  if (value < min || value > max)
    throw ELineSettingError("''" + text + "'' is not a valid " + what + " (" + std::to_string(min) +
                            " to " + std::to_string(max) + ")");
  return value;
}

std::string UpperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

LineSettings LineSettings::InRange() const {
  LineSettings settings = *this;
  settings.PortIndex = PositionOrFirst(PortIndex, kPortCount);
  settings.StopBits = PositionOrFirst(StopBits, kStopBitChoices);
  settings.Parity = PositionOrFirst(Parity, kParityChoices);
  return settings;
}

std::string LineSettings::PortName() const { return "COM" + std::to_string(PortIndex + 1); }

LineSettings ReadLineSettings(const TIniFile& ini) {
  LineSettings settings;
  settings.PortIndex = ini.ReadInteger("port", "index", 0);
  settings.Baud = ini.ReadString("port", "Baud", settings.Baud);
  settings.Bits = ini.ReadString("port", "Bits", settings.Bits);
  settings.StopBits = ini.ReadInteger("port", "StopBits", 0);
  settings.Parity = ini.ReadInteger("port", "Parity", 0);
  settings.ReopenOnReturn = ini.ReadBool("port", "reopen", true);
  return settings;
}

void WriteLineSettings(TIniFile& ini, const LineSettings& settings) {
  ini.WriteInteger("port", "index", settings.PortIndex);
  ini.WriteString("port", "Baud", settings.Baud);
  ini.WriteString("port", "Bits", settings.Bits);
  ini.WriteInteger("port", "StopBits", settings.StopBits);
  ini.WriteInteger("port", "Parity", settings.Parity);
  ini.WriteBool("port", "reopen", settings.ReopenOnReturn);
}

int32_t CheckedBaud(const std::string& text) {
  return CheckedNumber(text, 1, kMaxBaud, "baud rate");
}

int32_t CheckedBits(const std::string& text) {
  return CheckedNumber(text, 5, 8, "number of data bits");
}

PortLine CheckedLine(const LineSettings& settings) {
  PortLine line;
  line.Name = settings.PortName();
  line.Baud = CheckedBaud(settings.Baud);
  line.Bits = CheckedBits(settings.Bits);
  line.StopBits = PositionOrFirst(settings.StopBits, kStopBitChoices);
  line.Parity = PositionOrFirst(settings.Parity, kParityChoices);
  return line;
}

DeviceMap ReadDeviceMap(const TIniFile& ini) {
  DeviceMap devices;
  for (const std::string& key : ini.ReadSection("devices")) {
    const std::string path = ini.ReadString("devices", key, "");
    if (!path.empty()) devices.emplace(UpperCase(key), path);
  }
  return devices;
}

// The section holds nothing but the map, so it is written whole.
void WriteDeviceMap(TIniFile& ini, const DeviceMap& devices) {
  ini.EraseSection("devices");
  for (const auto& [name, path] : devices) ini.WriteString("devices", name, path);
}

void UseDeviceMap(const DeviceMap& devices) { SetSerialDeviceMap(devices); }

std::string MappedDevice(const std::string& portName) { return ResolveSerialDevice(portName); }

}  // namespace kestrune
