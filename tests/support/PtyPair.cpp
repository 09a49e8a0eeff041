#include "tests/support/PtyPair.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace kestrune::test {

PtyPair::PtyPair() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  char name[128];
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
      ptsname_r(master_, name, sizeof name) != 0) {
    CloseMaster();
    throw std::runtime_error("no pseudo-terminal available");
  }
  slavePath_ = name;
}

PtyPair::~PtyPair() { CloseMaster(); }

void PtyPair::Write(const Bytes& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw std::runtime_error("writing to the pseudo-terminal failed");
    done += static_cast<size_t>(n);
  }
}

Bytes ReadBytes(int fd, size_t count, std::chrono::milliseconds patience) {
  Bytes bytes;
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while (bytes.size() < count) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd readable{fd, POLLIN, 0};
    if (::poll(&readable, 1, static_cast<int>(left.count())) <= 0) continue;
    uint8_t chunk[4096];
    const ssize_t n = ::read(fd, chunk, std::min(sizeof chunk, count - bytes.size()));
    if (n > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  }
  return bytes;
}

Bytes PtyPair::Read(size_t count, std::chrono::milliseconds patience) {
  return ReadBytes(master_, count, patience);
}

void PtyPair::CloseMaster() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

}  // namespace kestrune::test
