#include "tests/support/FarSide.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

#include "tests/support/LogRecorder.h"

namespace kestrune::test {

FarSide::FarSide() {
  slaveHold_ = open(pty_.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  stop_ = eventfd(0, EFD_CLOEXEC);
  if (slaveHold_ < 0 || stop_ < 0) {
    if (slaveHold_ >= 0) close(slaveHold_);
    if (stop_ >= 0) close(stop_);
    throw std::runtime_error("pseudo-terminal set-up failed");
  }
  thread_ = std::thread([this] { Run(); });
}

FarSide::~FarSide() {
  Stop();
  close(stop_);
  close(slaveHold_);
}

void FarSide::Stop() {
  if (!thread_.joinable()) return;
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t r = write(stop_, &one, sizeof one);
  thread_.join();
}

void FarSide::On(Bytes request, std::vector<Chunk> replies, int times) {
  std::lock_guard lock(lock_);
  rules_.push_back({std::move(request), std::move(replies), times});
}

void FarSide::Echo(Bytes request) {
  Bytes copy = request;
  On(std::move(request), {{std::move(copy), {}}}, 1 << 30);
}

Bytes FarSide::Received() const {
  std::lock_guard lock(lock_);
  return received_;
}

int FarSide::Count(const Bytes& request) const {
  const Bytes all = Received();
  int n = 0;
  for (auto it = all.begin();
       (it = std::search(it, all.end(), request.begin(), request.end())) != all.end();
       it += static_cast<std::ptrdiff_t>(request.size()))
    ++n;
  return n;
}

void FarSide::Send(const Bytes& bytes) {
  try {
    pty_.Write(bytes);
  } catch (const std::runtime_error&) {
  }
}

void FarSide::Run() {
  pollfd fds[2] = {{stop_, POLLIN, 0}, {pty_.MasterFd(), POLLIN, 0}};
  for (;;) {
    if (poll(fds, 2, -1) < 0) continue;
    if (fds[0].revents) return;
    if (!(fds[1].revents & POLLIN)) {
      if (fds[1].revents) fds[1].fd = -1;  // the line is gone: only wait for the stop
      continue;
    }
    uint8_t buf[4096];
    const ssize_t n = read(pty_.MasterFd(), buf, sizeof buf);
    if (n <= 0) continue;
    {
      std::lock_guard lock(lock_);
      received_.insert(received_.end(), buf, buf + n);
      pending_.insert(pending_.end(), buf, buf + n);
    }
    LogRecorder::Notify();
    Serve();
  }
}

// Answers every request found in what has arrived, rule by rule.
void FarSide::Serve() {
  for (;;) {
    std::vector<Chunk> replies;
    {
      std::lock_guard lock(lock_);
      auto rule = rules_.end();
      auto at = pending_.end();
      for (auto r = rules_.begin(); r != rules_.end(); ++r) {
        if (r->times <= 0) continue;
        auto found =
            std::search(pending_.begin(), pending_.end(), r->request.begin(), r->request.end());
        if (found != pending_.end() && (rule == rules_.end() || found < at)) {
          rule = r;
          at = found;
        }
      }
      if (rule == rules_.end()) return;
      pending_.erase(pending_.begin(), at + static_cast<std::ptrdiff_t>(rule->request.size()));
      --rule->times;
      replies = rule->replies;
    }
    for (const Chunk& chunk : replies) {
      if (chunk.when) LogRecorder::WaitFor(chunk.when);
      Send(chunk.bytes);
    }
  }
}

}  // namespace kestrune::test
