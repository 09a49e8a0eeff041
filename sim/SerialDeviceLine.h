// An existing serial device (for instance one end of a null-modem cable whose
// other end the program opens), in raw mode, 8 data bits, no parity, 1 stop bit.
#pragma once

#include <cstdint>
#include <string>

namespace kestrune::sim {

class SerialDeviceLine {
 public:
  // Throws std::system_error, or std::invalid_argument for a baud rate the
  // terminal interface has no constant for.
  SerialDeviceLine(const std::string& path, int32_t baudRate);
  ~SerialDeviceLine();
  SerialDeviceLine(const SerialDeviceLine&) = delete;
  SerialDeviceLine& operator=(const SerialDeviceLine&) = delete;

  int Fd() const { return fd_; }

 private:
  int fd_ = -1;
};

}  // namespace kestrune::sim
