#include "sim/InProcessRadio.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace kestrune::sim {

InProcessRadio::InProcessRadio(RadioConfig config, RadioLink::LineSink traceLines) {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0)
    throw std::system_error(errno, std::generic_category(), "socketpair");
  programFd_ = fds[0];
  radioFd_ = fds[1];
  config.ackTrigger = AckTrigger::DtrPulse;
  link_ = std::make_unique<RadioLink>(std::move(config), radioFd_, std::move(traceLines));
  thread_ = std::thread([this] { link_->Run(); });
}

InProcessRadio::~InProcessRadio() {
  link_->Stop();
  thread_.join();
  link_.reset();
  close(programFd_);
  close(radioFd_);
}

void InProcessRadio::Write(std::span<const uint8_t> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = send(programFd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      pollfd pfd{programFd_, POLLOUT, 0};
      poll(&pfd, 1, 100);
    } else {
      throw std::system_error(errno, std::generic_category(), "send to the radio");
    }
  }
}

std::vector<uint8_t> InProcessRadio::Read(size_t count, std::chrono::milliseconds timeout) {
  using clock = std::chrono::steady_clock;
  const auto deadline = clock::now() + timeout;
  std::vector<uint8_t> bytes;
  while (bytes.size() < count) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now());
    if (left.count() < 0) break;
    pollfd pfd{programFd_, POLLIN, 0};
    if (poll(&pfd, 1, static_cast<int>(left.count()) + 1) <= 0) continue;
    uint8_t buffer[256];
    const ssize_t n = read(programFd_, buffer, std::min(sizeof buffer, count - bytes.size()));
    if (n > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    if (n == 0) break;
  }
  return bytes;
}

}  // namespace kestrune::sim
