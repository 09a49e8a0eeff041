#include "tests/support/SerialSeams.h"

#include <sys/ioctl.h>

#include "tests/support/LogRecorder.h"

namespace kestrune::test {

int InjectingSystem::Open(const char* path, int flags) {
  ++calls;
  const int fd = SerialSystem::Open(path, flags);
  if (fd >= 0) deviceFd = fd;
  return fd;
}

int InjectingSystem::Close(int fd) {
  ++calls;
  return SerialSystem::Close(fd);
}

ssize_t InjectingSystem::Read(int fd, void* buf, size_t n) {
  ++calls;
  if (onRead && fd == deviceFd) return onRead(fd, buf, n);
  return SerialSystem::Read(fd, buf, n);
}

ssize_t InjectingSystem::Write(int fd, const void* buf, size_t n) {
  ++calls;
  if (onWrite && fd == deviceFd) return onWrite(fd, buf, n);
  return SerialSystem::Write(fd, buf, n);
}

int InjectingSystem::Poll(pollfd* fds, nfds_t count, int timeoutMs) {
  ++calls;
  ++polls;
  if (onPoll) return onPoll(fds, count, timeoutMs);
  return SerialSystem::Poll(fds, count, timeoutMs);
}

int InjectingSystem::Flush(int fd, int queues) {
  ++calls;
  if (onFlush) onFlush();
  return SerialSystem::Flush(fd, queues);
}

ssize_t ObservedLines::Write(int fd, const void* buf, size_t n) {
  const ssize_t r = SimulatedModemLines::Write(fd, buf, n);
  if (r > 0) written += static_cast<size_t>(r);
  return r;
}

int ObservedLines::SetModemLines(int fd, int lines) {
  const int r = SimulatedModemLines::SetModemLines(fd, lines);
  if (lines & TIOCM_DTR) ++dtrRaised;
  LogRecorder::Notify();
  return r;
}

int ObservedLines::ClearModemLines(int fd, int lines) {
  const int r = SimulatedModemLines::ClearModemLines(fd, lines);
  LogRecorder::Notify();
  return r;
}

}  // namespace kestrune::test
