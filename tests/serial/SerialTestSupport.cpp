#include "tests/serial/SerialTestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace kestrune::test {

PtyPair::PtyPair() {
  FMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  char name[128];
  if (FMaster < 0 || grantpt(FMaster) != 0 || unlockpt(FMaster) != 0 ||
      ptsname_r(FMaster, name, sizeof name) != 0) {
    throw std::runtime_error("no pseudo-terminal available");
  }
  FSlavePath = name;
}

PtyPair::~PtyPair() { CloseMaster(); }

void PtyPair::Write(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(FMaster, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw std::runtime_error("writing to the pseudo-terminal failed");
    done += static_cast<size_t>(n);
  }
}

std::vector<uint8_t> PtyPair::Read(size_t count) {
  std::vector<uint8_t> bytes;
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (bytes.size() < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd master{FMaster, POLLIN, 0};
    if (::poll(&master, 1, static_cast<int>(left.count())) <= 0) continue;
    uint8_t chunk[4096];
    const ssize_t n = ::read(FMaster, chunk, sizeof chunk);
    if (n > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  }
  return bytes;
}

void PtyPair::CloseMaster() {
  if (FMaster >= 0) ::close(FMaster);
  FMaster = -1;
}

namespace {
std::mutex gLogLock;
std::condition_variable gLogChanged;
std::vector<std::string> gLogLines;
}  // namespace

void LogCollector::Log(const std::string& line) {
  {
    std::lock_guard<std::mutex> guard(gLogLock);
    gLogLines.push_back(line);
  }
  gLogChanged.notify_all();
}

void LogCollector::Reset() {
  std::lock_guard<std::mutex> guard(gLogLock);
  gLogLines.clear();
}

std::vector<std::string> LogCollector::Lines() {
  std::lock_guard<std::mutex> guard(gLogLock);
  return gLogLines;
}

static size_t CountLocked(const std::string& prefix) {
  size_t count = 0;
  for (const auto& line : gLogLines) count += line.rfind(prefix, 0) == 0 ? 1 : 0;
  return count;
}

bool LogCollector::WaitForLineStartingWith(const std::string& prefix) {
  std::unique_lock<std::mutex> lock(gLogLock);
  return gLogChanged.wait_for(lock, kPatience, [&] { return CountLocked(prefix) > 0; });
}

size_t LogCollector::CountStartingWith(const std::string& prefix) {
  std::lock_guard<std::mutex> guard(gLogLock);
  return CountLocked(prefix);
}

bool WaitUntil(std::mutex& lock, std::condition_variable& changed,
               const std::function<bool()>& done) {
  std::unique_lock<std::mutex> guard(lock);
  return changed.wait_for(guard, kPatience, done);
}

std::vector<uint8_t> Pattern(size_t length, uint8_t first) {
  std::vector<uint8_t> bytes(length);
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(first + i);
  return bytes;
}

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

}  // namespace kestrune::test
