#include "cli/PortSetup.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "cli/CliPlatform.h"
#include "console/core/FilePlaces.h"
#include "console/core/IniFile.h"

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

// A [port] value, checked as the window checks it; the message names the file.
int32_t CheckedSetting(int32_t (*check)(const std::string&), const TIniFile& ini,
                       const std::string& key, const std::string& text) {
  try {
    return check(text);
  } catch (const std::exception& e) {
    throw EUsageError(ini.FileName() + ": [port] " + key + ": " + e.what());
  }
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
  UseDeviceMap(ReadDeviceMap(ini));
  const LineSettings stored = ReadLineSettings(ini).InRange();

  TPortSetup setup;
  if (!options.Device.empty())
    setup.Name = options.Device;
  else if (!options.Port.empty())
    setup.Name = options.Port;
  else
    setup.Name = stored.PortName();
  setup.Baud = options.Baud ? *options.Baud : CheckedSetting(CheckedBaud, ini, "Baud", stored.Baud);
  setup.Bits = options.Bits ? *options.Bits : CheckedSetting(CheckedBits, ini, "Bits", stored.Bits);
  setup.StopBits = options.StopBits ? *options.StopBits : stored.StopBits;
  setup.Parity = options.Parity ? *options.Parity : stored.Parity;
  return setup;
}

}  // namespace kestrune::cli
