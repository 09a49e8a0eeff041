#include "tests/support/LogRecorder.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace kestrune::test {
namespace {

struct Recorder {
  std::mutex lock;
  std::condition_variable changed;
  std::vector<std::string> lines;
  std::vector<LogRecorder::Dump> dumps;
  uint64_t changes = 0;  // counts every change and Notify()
};

Recorder& TheRecorder() {
  static Recorder recorder;
  return recorder;
}

}  // namespace

void LogRecorder::Line(const std::string& s) {
  Recorder& r = TheRecorder();
  {
    std::lock_guard lock(r.lock);
    r.lines.push_back(s);
    ++r.changes;
  }
  r.changed.notify_all();
}

void LogRecorder::DumpProc(const uint8_t* p, int32_t len, const std::string& dir,
                           const std::string& sig) {
  Recorder& r = TheRecorder();
  {
    std::lock_guard lock(r.lock);
    r.dumps.push_back({dir, Bytes(p, p + len), sig});
    ++r.changes;
  }
  r.changed.notify_all();
}

void LogRecorder::Reset() {
  Recorder& r = TheRecorder();
  std::lock_guard lock(r.lock);
  r.lines.clear();
  r.dumps.clear();
}

std::vector<std::string> LogRecorder::Lines() {
  Recorder& r = TheRecorder();
  std::lock_guard lock(r.lock);
  return r.lines;
}

size_t LogRecorder::CountStartingWith(const std::string& prefix) {
  size_t count = 0;
  for (const std::string& line : Lines()) count += line.starts_with(prefix) ? 1 : 0;
  return count;
}

size_t LogRecorder::Count(const std::string& line) {
  const auto lines = Lines();
  return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
}

std::vector<LogRecorder::Dump> LogRecorder::Dumps(const std::string& dir) {
  Recorder& r = TheRecorder();
  std::lock_guard lock(r.lock);
  std::vector<Dump> result;
  for (const Dump& d : r.dumps)
    if (d.dir == dir) result.push_back(d);
  return result;
}

int LogRecorder::DumpCount(const std::string& dir) { return static_cast<int>(Dumps(dir).size()); }

void LogRecorder::Notify() {
  Recorder& r = TheRecorder();
  {
    std::lock_guard lock(r.lock);
    ++r.changes;
  }
  r.changed.notify_all();
}

// pred runs unlocked, so a change it misses may come while it runs: the
// change count read before it tells whether to test again or to sleep.
bool LogRecorder::WaitFor(const std::function<bool()>& pred, std::chrono::milliseconds patience) {
  Recorder& r = TheRecorder();
  const auto deadline = std::chrono::steady_clock::now() + patience;
  std::unique_lock lock(r.lock);
  for (;;) {
    const uint64_t seen = r.changes;
    lock.unlock();
    if (pred()) return true;
    lock.lock();
    if (!r.changed.wait_until(lock, deadline, [&] { return r.changes != seen; })) {
      lock.unlock();
      return pred();
    }
  }
}

bool LogRecorder::WaitForLineStartingWith(const std::string& prefix) {
  return WaitFor([&] { return CountStartingWith(prefix) > 0; });
}

}  // namespace kestrune::test
