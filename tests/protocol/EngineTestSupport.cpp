#include "EngineTestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "protocol/CRC16.h"

namespace kestrune {

// ---------------------------------------------------------------- TestLog

namespace {

struct Recorder {
  std::mutex lock;
  std::condition_variable changed;
  std::vector<std::string> lines;
  std::vector<TestLog::Dump> dumps;
};

Recorder& TheRecorder() {
  static Recorder recorder;
  return recorder;
}

}  // namespace

void TestLog::Line(const std::string& s) {
  Recorder& r = TheRecorder();
  {
    std::lock_guard lock(r.lock);
    r.lines.push_back(s);
  }
  r.changed.notify_all();
}

void TestLog::DumpProc(const uint8_t* p, int32_t len, const std::string& dir,
                       const std::string& sig) {
  Recorder& r = TheRecorder();
  {
    std::lock_guard lock(r.lock);
    r.dumps.push_back({dir, Bytes(p, p + len), sig});
  }
  r.changed.notify_all();
}

void TestLog::Reset() {
  Recorder& r = TheRecorder();
  std::lock_guard lock(r.lock);
  r.lines.clear();
  r.dumps.clear();
}

std::vector<std::string> TestLog::Lines() {
  Recorder& r = TheRecorder();
  std::lock_guard lock(r.lock);
  return r.lines;
}

std::vector<TestLog::Dump> TestLog::Dumps(const std::string& dir) {
  Recorder& r = TheRecorder();
  std::lock_guard lock(r.lock);
  std::vector<Dump> result;
  for (const Dump& d : r.dumps)
    if (d.dir == dir) result.push_back(d);
  return result;
}

int TestLog::DumpCount(const std::string& dir) { return static_cast<int>(Dumps(dir).size()); }

void TestLog::Notify() {
  Recorder& r = TheRecorder();
  { std::lock_guard lock(r.lock); }  // a waiter is either before its test or asleep
  r.changed.notify_all();
}

bool TestLog::WaitFor(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
  Recorder& r = TheRecorder();
  std::unique_lock lock(r.lock);
  // pred may read the recorder too: give it the data without the lock.
  return r.changed.wait_for(lock, timeout, [&] {
    lock.unlock();
    const bool ok = pred();
    lock.lock();
    return ok;
  });
}

// ---------------------------------------------------------------- ObservedLines

ssize_t ObservedLines::Write(int fd, const void* buf, size_t n) {
  const ssize_t r = SimulatedModemLines::Write(fd, buf, n);
  if (r > 0) written += static_cast<size_t>(r);
  return r;
}

int ObservedLines::SetModemLines(int fd, int lines) {
  const int r = SimulatedModemLines::SetModemLines(fd, lines);
  if (lines & TIOCM_DTR) ++dtrRaised;
  TestLog::Notify();
  return r;
}

int ObservedLines::ClearModemLines(int fd, int lines) {
  const int r = SimulatedModemLines::ClearModemLines(fd, lines);
  TestLog::Notify();
  return r;
}

// ---------------------------------------------------------------- FarSide

FarSide::FarSide() {
  FMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (FMaster < 0 || grantpt(FMaster) != 0 || unlockpt(FMaster) != 0)
    throw std::runtime_error("no pseudo-terminal");
  FSlavePath = ptsname(FMaster);
  FSlaveHold = open(FSlavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  FStop = eventfd(0, EFD_CLOEXEC);
  if (FSlaveHold < 0 || FStop < 0) throw std::runtime_error("pseudo-terminal set-up failed");
  FThread = std::thread([this] { Run(); });
}

FarSide::~FarSide() {
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t r = write(FStop, &one, sizeof one);
  FThread.join();
  close(FStop);
  close(FSlaveHold);
  close(FMaster);
}

void FarSide::On(Bytes request, std::vector<Chunk> replies, int times) {
  std::lock_guard lock(FLock);
  FRules.push_back({std::move(request), std::move(replies), times});
}

void FarSide::Echo(Bytes request) {
  Bytes copy = request;
  On(std::move(request), {{std::move(copy), {}}}, 1 << 30);
}

Bytes FarSide::Received() const {
  std::lock_guard lock(FLock);
  return FReceived;
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
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t r = write(FMaster, bytes.data() + done, bytes.size() - done);
    if (r <= 0) return;
    done += static_cast<size_t>(r);
  }
}

void FarSide::Run() {
  pollfd fds[2] = {{FStop, POLLIN, 0}, {FMaster, POLLIN, 0}};
  for (;;) {
    if (poll(fds, 2, -1) < 0) continue;
    if (fds[0].revents) return;
    if (!(fds[1].revents & POLLIN)) {
      if (fds[1].revents) fds[1].fd = -1;  // the line is gone: only wait for the stop
      continue;
    }
    uint8_t buf[4096];
    const ssize_t n = read(FMaster, buf, sizeof buf);
    if (n <= 0) continue;
    {
      std::lock_guard lock(FLock);
      FReceived.insert(FReceived.end(), buf, buf + n);
      FPending.insert(FPending.end(), buf, buf + n);
    }
    TestLog::Notify();
    Serve();
  }
}

// Answers every request found in what has arrived, rule by rule.
void FarSide::Serve() {
  for (;;) {
    std::vector<Chunk> replies;
    {
      std::lock_guard lock(FLock);
      auto rule = FRules.end();
      auto at = FPending.end();
      for (auto r = FRules.begin(); r != FRules.end(); ++r) {
        if (r->times <= 0) continue;
        auto found =
            std::search(FPending.begin(), FPending.end(), r->request.begin(), r->request.end());
        if (found != FPending.end() && (rule == FRules.end() || found < at)) {
          rule = r;
          at = found;
        }
      }
      if (rule == FRules.end()) return;
      FPending.erase(FPending.begin(), at + static_cast<std::ptrdiff_t>(rule->request.size()));
      --rule->times;
      replies = rule->replies;
    }
    for (const Chunk& chunk : replies) {
      if (chunk.when) TestLog::WaitFor(chunk.when);
      Send(chunk.bytes);
    }
  }
}

// ---------------------------------------------------------------- frames

Bytes Sb9600Frame(uint8_t b0, uint8_t hi, uint8_t lo, uint8_t opcode) {
  Bytes frame{b0, hi, lo, opcode, 0};
  frame[4] = Crc16(frame.data(), 4, 0x00FF);
  return frame;
}

Bytes WithSbepChecksum(Bytes pkt) {
  pkt.push_back(InvertedByteSum(pkt.data(), static_cast<int32_t>(pkt.size())));
  return pkt;
}

}  // namespace kestrune
