// Which device a port name such as "COM1" stands for.
//
// The console fills the table from the settings file's [devices] section
// (COM1=/dev/ttyUSB0, a /dev/serial/by-id/... link, the simulator's link).
// Without an entry, COMn is /dev/ttyS(n-1). A name that already is a path
// (it contains a '/') is used as it is. Any other name is returned unchanged.
//
// The Windows backend does not use the table: there "COMn" is the system's
// own port n.
//
// Both functions may be called from any thread.
#pragma once

#include <map>
#include <string>

namespace kestrune {

void SetSerialDeviceMap(std::map<std::string, std::string> map);
std::string ResolveSerialDevice(const std::string& name);

}  // namespace kestrune
