#include "cli/PortSetup.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>

#include "cli/CliPlatform.h"
#include "console/core/FilePlaces.h"
#include "console/core/IniFile.h"
#include "serial/SerialDevices.h"

namespace kestrune::cli {

namespace {

[[noreturn]] void Unreadable(const std::string& path, const std::string& reason) {
  throw EUsageError("cannot read the settings file " + path + ": " + reason);
}

// A settings file that is there but cannot be read is an error, never a
// reason to fall back to the defaults: COM1 would then be /dev/ttyS0, and
// the program would transmit on a line the operator never chose.
void CheckReadable(const std::string& path) {
  if (const auto reason = UnreadableReason(path)) Unreadable(path, *reason);
}

void SetDeviceMap(const TIniFile& ini) {
  std::map<std::string, std::string> devices;
  for (std::string key : ini.ReadSection("devices")) {
    const std::string path = ini.ReadString("devices", key, "");
    for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (!path.empty()) devices.emplace(key, path);
  }
  SetSerialDeviceMap(std::move(devices));
}

// A [port] number, read as the window reads it; the message names the file.
int32_t SettingNumber(const TIniFile& ini, const std::string& key, int64_t min, int64_t max,
                      const std::string& fallback) {
  const std::string text = ini.ReadString("port", key, fallback);
  try {
    return static_cast<int32_t>(ParseDecimal(text, min, max, "[port] " + key, ""));
  } catch (const EUsageError& e) {
    throw EUsageError(ini.FileName() + ": " + e.what());
  }
}

// An index the window keeps as a list position; out of range reads as the first.
int32_t SettingIndex(const TIniFile& ini, const std::string& key, int32_t count) {
  const int32_t index = ini.ReadInteger("port", key, 0);
  return index >= 0 && index < count ? index : 0;
}

}  // namespace

std::string ProgramDir() { return ExecutableDir(); }

std::string DefaultSettingsFile() {
  return LocateFiles(ProgramDir(), ProcessEnvironment()).ReadFile();
}

TPortSetup ResolvePortSetup(const TLineOptions& options) {
  const std::string path = options.Settings.empty() ? DefaultSettingsFile() : options.Settings;
  // Given by name, it must be there; found by the lookup, it may be missing.
  if (!options.Settings.empty() || PathPresent(path)) CheckReadable(path);
  const TIniFile ini(path);
  if (ini.ReadError()) throw EUsageError(*ini.ReadError());
  SetDeviceMap(ini);

  TPortSetup setup;
  if (!options.Device.empty())
    setup.Name = options.Device;
  else if (!options.Port.empty())
    setup.Name = options.Port;
  else
    setup.Name = "COM" + std::to_string(SettingIndex(ini, "index", 4) + 1);
  setup.Baud = options.Baud ? *options.Baud : SettingNumber(ini, "Baud", 1, 4'000'000, "9600");
  setup.Bits = options.Bits ? *options.Bits : SettingNumber(ini, "Bits", 5, 8, "8");
  setup.StopBits = options.StopBits ? *options.StopBits : SettingIndex(ini, "StopBits", 3);
  setup.Parity = options.Parity ? *options.Parity : SettingIndex(ini, "Parity", 5);
  return setup;
}

}  // namespace kestrune::cli
