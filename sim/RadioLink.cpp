#include "sim/RadioLink.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "sim/BusTrace.h"

namespace kestrune::sim {
namespace {

int MakeWakeFd() {
  const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
  return fd;
}

}  // namespace

RadioLink::RadioLink(RadioConfig config, int fd, LineSink traceLines)
    : fd_(fd),
      wakeFd_(MakeWakeFd()),
      start_(std::chrono::steady_clock::now()),
      lines_(std::move(traceLines)),
      radio_(std::move(config)) {
  fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
  struct stat st {};
  isSocket_ = fstat(fd_, &st) == 0 && S_ISSOCK(st.st_mode);
  radio_.SetTraceSink([this](const TraceEvent& event) { TraceLine(event); });
}

RadioLink::~RadioLink() { close(wakeFd_); }

Micros RadioLink::Now() const {
  return std::chrono::duration_cast<Micros>(std::chrono::steady_clock::now() - start_);
}

void RadioLink::Stop() {
  stop_ = true;
  Wake();
}

void RadioLink::Wake() {
  const uint64_t one = 1;
  // Only fails when the counter is full, and then the loop wakes anyway.
  [[maybe_unused]] ssize_t n = write(wakeFd_, &one, sizeof one);
}

std::string RadioLink::LastError() const {
  std::lock_guard lock(mutex_);
  return lastError_;
}

void RadioLink::SetDtr(bool level) {
  {
    std::lock_guard lock(mutex_);
    End ignored;
    ReadAvailable(ignored);  // what the program wrote before the change comes first
    Schedule(radio_.SetDtr(level, Now()));
    WriteDue();
  }
  Wake();
}

void RadioLink::SetFaults(Faults faults) {
  WithRadio([&](SimRadio& radio) { radio.SetFaults(std::move(faults), Now()); });
}

RadioLink::End RadioLink::Run() {
  while (!stop_) {
    int64_t timeoutNs;
    {
      std::lock_guard lock(mutex_);
      timeoutNs = PollTimeoutNs();
    }
    std::array<pollfd, 2> fds{{{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}}};
    timespec timeout{timeoutNs / 1'000'000'000, timeoutNs % 1'000'000'000};
    const int r = ppoll(fds.data(), fds.size(), timeoutNs < 0 ? nullptr : &timeout, nullptr);
    if (r < 0 && errno != EINTR) {
      std::lock_guard lock(mutex_);
      lastError_ = std::string("poll: ") + std::strerror(errno);
      return End::LineError;
    }
    if (r > 0 && (fds[1].revents & POLLIN)) {
      uint64_t count;
      [[maybe_unused]] ssize_t n = read(wakeFd_, &count, sizeof count);
    }
    if (stop_) break;
    std::lock_guard lock(mutex_);
    if (r > 0 && fds[0].revents != 0) {
      End end;
      if (!ReadAvailable(end)) return end;
    }
    Schedule(radio_.Advance(Now()));
    WriteDue();
  }
  return End::Stopped;
}

// Reads until the line has nothing more; false (with `end` set) when the line
// ended. The bytes of each read go to the radio at once, so its echo follows
// without delay.
bool RadioLink::ReadAvailable(End& end) {
  std::array<uint8_t, 4096> buffer;
  for (;;) {
    const ssize_t n = read(fd_, buffer.data(), buffer.size());
    if (n > 0) {
      Schedule(radio_.Receive(std::span(buffer.data(), static_cast<size_t>(n)), Now()));
      WriteDue();
      continue;
    }
    if (n == 0) {
      end = End::LineClosed;
      return false;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
    lastError_ = std::string("read: ") + std::strerror(errno);
    end = End::LineError;
    return false;
  }
}

void RadioLink::Schedule(std::vector<Emission> emissions) {
  for (Emission& e : emissions) pending_.emplace(e.at, std::move(e.bytes));
}

void RadioLink::WriteDue() {
  const Micros now = Now();
  while (!pending_.empty() && pending_.begin()->first <= now) {
    const std::vector<uint8_t>& bytes = pending_.begin()->second;
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = WriteSome(bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else {
        TraceLine(
            {TraceEvent::Source::Note,
             "",
             {},
             "line full or closed: " + std::to_string(bytes.size() - done) + " bytes dropped"});
        break;
      }
    }
    pending_.erase(pending_.begin());
  }
}

ssize_t RadioLink::WriteSome(const uint8_t* bytes, size_t size) {
  // A socket whose reader has gone would raise SIGPIPE on write().
  if (isSocket_) return send(fd_, bytes, size, MSG_NOSIGNAL);
  return write(fd_, bytes, size);
}

// Nanoseconds until the next output or radio deadline.
int64_t RadioLink::PollTimeoutNs() const {
  std::optional<Micros> next = radio_.NextDeadline();
  if (!pending_.empty() && (!next || pending_.begin()->first < *next))
    next = pending_.begin()->first;
  if (!next) return -1;
  const Micros wait = *next - Now();
  return wait.count() <= 0 ? 0 : std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
}

void RadioLink::TraceLine(const TraceEvent& event) {
  if (lines_) lines_(FormatTraceLine(event, WallClockTimestamp()));
}

}  // namespace kestrune::sim
