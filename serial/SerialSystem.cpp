#include "serial/SerialSystem.h"

#include "serial/CustomBaud.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace kestrune {

int SerialSystem::Open(const char* path, int flags) { return ::open(path, flags); }

int SerialSystem::Close(int fd) { return ::close(fd); }

ssize_t SerialSystem::Read(int fd, void* buf, size_t n) { return ::read(fd, buf, n); }

ssize_t SerialSystem::Write(int fd, const void* buf, size_t n) { return ::write(fd, buf, n); }

int SerialSystem::Poll(pollfd* fds, nfds_t count, int timeoutMs) {
  return ::poll(fds, count, timeoutMs);
}

int SerialSystem::Lock(int fd, int operation) { return ::flock(fd, operation); }

int SerialSystem::SetExclusive(int fd) { return ::ioctl(fd, TIOCEXCL); }

int SerialSystem::ClearExclusive(int fd) { return ::ioctl(fd, TIOCNXCL); }

int SerialSystem::GetAttributes(int fd, termios* attributes) { return ::tcgetattr(fd, attributes); }

int SerialSystem::SetAttributes(int fd, const termios* attributes) {
  return ::tcsetattr(fd, TCSANOW, attributes);
}

int SerialSystem::SetCustomBaud(int fd, uint32_t baud) { return SetTermios2Baud(fd, baud); }

int SerialSystem::Flush(int fd, int queues) { return ::tcflush(fd, queues); }

int SerialSystem::Drain(int fd) { return ::tcdrain(fd); }

int SerialSystem::GetModemLines(int fd, int* lines) { return ::ioctl(fd, TIOCMGET, lines); }

int SerialSystem::SetModemLines(int fd, int lines) { return ::ioctl(fd, TIOCMBIS, &lines); }

int SerialSystem::ClearModemLines(int fd, int lines) { return ::ioctl(fd, TIOCMBIC, &lines); }

int SerialSystem::GetSerialInfo(int fd, serial_struct* info) {
  return ::ioctl(fd, TIOCGSERIAL, info);
}

int SerialSystem::SetSerialInfo(int fd, const serial_struct* info) {
  return ::ioctl(fd, TIOCSSERIAL, info);
}

int SerialSystem::CreateWakeDescriptor() { return ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK); }

int SerialSystem::ModemChangeDescriptor() { return -1; }

void SerialSystem::TakeModemChange() {}

std::shared_ptr<SerialSystem> RealSerialSystem() {
  static const auto real = std::make_shared<SerialSystem>();
  return real;
}

}  // namespace kestrune
