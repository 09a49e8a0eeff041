// The Windows half of SerialPorts.h: COM1..COM4 are the system's own ports,
// so there is nothing to list or map.
#include "console/core/SerialPorts.h"

namespace kestrune {

std::vector<SerialPortInfo> ListSerialPorts(const std::string&) { return {}; }

}  // namespace kestrune
