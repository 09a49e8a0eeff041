#include "console/core/SerialPorts.h"

namespace kestrune {

std::vector<std::string> DeviceMapLines(const DeviceMap& devices) {
  std::vector<std::string> lines;
  for (int32_t i = 0; i < kPortCount; ++i) {
    const std::string name = "COM" + std::to_string(i + 1);
    const auto mapped = devices.find(name);
    if (mapped != devices.end())
      lines.push_back(name + " = " + mapped->second);
    else
      lines.push_back(name + " = /dev/ttyS" + std::to_string(i) + " (default)");
  }
  return lines;
}

std::string DescribeSerialPort(const SerialPortInfo& port) {
  std::string line = port.Path;
  if (port.Node != port.Path) line += " -> " + port.Node;
  std::string what = port.Vendor;
  if (!port.Product.empty()) what += (what.empty() ? "" : " ") + port.Product;
  if (!port.Serial.empty())
    what += (what.empty() ? "" : ", ") + std::string("serial ") + port.Serial;
  if (!what.empty()) line += "  " + what;
  line += port.CanOpen ? "  can open" : "  no permission";
  if (port.Locked) line += ", locked";
  return line;
}

}  // namespace kestrune
