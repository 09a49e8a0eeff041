#include "cli/PortSetup.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>

#include "console/core/IniFile.h"
#include "serial/SerialDevices.h"

namespace kestrune::cli {

namespace {

void CheckReadable(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    throw EUsageError("cannot read the settings file " + path + ": " + std::strerror(errno));
  close(fd);
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

std::string ProgramDir() {
  std::error_code error;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return "./";
  return exe.parent_path().string() + "/";
}

std::string DefaultSettingsFile() { return ProgramDir() + "settings.ini"; }

TPortSetup ResolvePortSetup(const TLineOptions& options) {
  if (!options.Settings.empty()) CheckReadable(options.Settings);
  const TIniFile ini(options.Settings.empty() ? DefaultSettingsFile() : options.Settings);
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
