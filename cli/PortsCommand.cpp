// kestrune-cli ports: the serial devices present and what COM1..COM4 map to.
// It opens no port.
#include <cstdio>
#include <stdexcept>

#include "cli/CliMain.h"
#include "cli/CliOptions.h"
#include "cli/CommandKit.h"
#include "cli/PortSetup.h"
#include "console/core/FilePlaces.h"
#include "console/core/IniFile.h"
#include "console/core/SerialPorts.h"

namespace kestrune::cli {

namespace {

void CheckPortsArgs(const std::vector<std::string>& args) {
  if (!ScanCommandArgs(kPortsCommand, args, {}).Words.empty())
    throw EUsageError("ports: takes no words", kPortsCommand);
}

}  // namespace

int RunPortsCommand(const std::vector<std::string>& args, const TLineOptions& line) {
  CheckPortsArgs(args);
  const std::string settings = line.Settings.empty() ? DefaultSettingsFile() : line.Settings;
  const TIniFile ini(settings);
  if (ini.ReadError()) throw EUsageError(*ini.ReadError());
  const std::vector<SerialPortInfo> ports = ListSerialPorts();
  std::printf("Serial devices:\n");
  if (ports.empty()) std::printf("  none found\n");
  for (const SerialPortInfo& port : ports) std::printf("  %s\n", DescribeSerialPort(port).c_str());
  std::printf("Ports (%s):\n", settings.c_str());
  for (const std::string& mapped : DeviceMapLines(ReadDeviceMap(ini)))
    std::printf("  %s\n", mapped.c_str());
  return kExitDone;
}

TCommand PortsCommand() {
  return {kPortsCommand, "ports", "the serial devices present and the COMn map",
          R"(Lists the serial devices present: the /dev/serial/by-id links of USB
adapters with their vendor, product and serial number, ttyUSB*, ttyACM*, and
the ttyS* that have a UART. Each says whether you may open it and whether
another program holds it ("locked"). Then the device each of COM1..COM4 maps
to, from the settings file's [devices] section (COMn is /dev/ttyS(n-1) where
nothing is mapped). No port is opened. Exit status 0.

Example:
  kestrune-cli ports
)",
          [](const std::vector<std::string>& args) -> TRunner {
            CheckPortsArgs(args);
            // Never run: RunCli hands "ports" to RunPortsCommand.
            return [](TRunContext&) -> TOutcome { throw std::logic_error("ports opens no port"); };
          }};
}

}  // namespace kestrune::cli
