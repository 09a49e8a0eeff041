#include "cli/StopSignals.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace kestrune::cli {

namespace {

sigset_t StopSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

[[noreturn]] void ThrowSystemError(const char* what) {
  throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

}  // namespace

std::string StopEventName(int signal) { return signal == SIGINT ? "SIGINT" : "SIGTERM"; }

TStopSignals::TStopSignals(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal)) {
  const sigset_t set = StopSignalSet();
  if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) ThrowSystemError("pthread_sigmask");
  signalFd_ = signalfd(-1, &set, SFD_CLOEXEC);
  if (signalFd_ < 0) ThrowSystemError("signalfd");
  stopFd_ = eventfd(0, EFD_CLOEXEC);
  if (stopFd_ < 0) {
    close(signalFd_);
    ThrowSystemError("eventfd");
  }
  thread_ = std::thread([this] { Watch(); });
}

// The signals stay blocked: one that arrives after the watching ended is
// left pending instead of ending the program half-way through its closing.
TStopSignals::~TStopSignals() {
  const uint64_t one = 1;
  while (write(stopFd_, &one, sizeof one) < 0 && errno == EINTR) {
  }
  thread_.join();
  close(stopFd_);
  close(signalFd_);
}

void TStopSignals::Watch() {
  pollfd fds[2]{{signalFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
  for (;;) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    signalfd_siginfo info{};
    if (read(signalFd_, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) continue;
    const int sig = static_cast<int>(info.ssi_signo);
    int none = 0;
    signal_.compare_exchange_strong(none, sig);
    if (onSignal_) onSignal_(sig);
  }
}

}  // namespace kestrune::cli
