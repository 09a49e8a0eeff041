#include "sim/SerialDeviceLine.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace kestrune::sim {
namespace {

speed_t SpeedConstant(int32_t baudRate) {
  static constexpr std::pair<int32_t, speed_t> kSpeeds[] = {
      {300, B300},     {600, B600},       {1200, B1200},     {2400, B2400},
      {4800, B4800},   {9600, B9600},     {19200, B19200},   {38400, B38400},
      {57600, B57600}, {115200, B115200}, {230400, B230400},
  };
  for (const auto& [rate, speed] : kSpeeds)
    if (rate == baudRate) return speed;
  throw std::invalid_argument("unsupported baud rate " + std::to_string(baudRate));
}

}  // namespace

SerialDeviceLine::SerialDeviceLine(const std::string& path, int32_t baudRate) {
  const speed_t speed = SpeedConstant(baudRate);
  fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "open " + path);
  termios tio{};
  bool configured = tcgetattr(fd_, &tio) == 0;
  if (configured) {
    cfmakeraw(&tio);
    tio.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    configured = cfsetispeed(&tio, speed) == 0 && cfsetospeed(&tio, speed) == 0 &&
                 tcsetattr(fd_, TCSANOW, &tio) == 0;
  }
  if (!configured) {
    const int error = errno;
    close(fd_);
    throw std::system_error(error, std::generic_category(), "configure " + path);
  }
  tcflush(fd_, TCIOFLUSH);
}

SerialDeviceLine::~SerialDeviceLine() {
  if (fd_ >= 0) close(fd_);
}

}  // namespace kestrune::sim
