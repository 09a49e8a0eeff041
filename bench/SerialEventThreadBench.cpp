// How the port's event thread behaves on a pseudo-terminal:
//   1. CPU time the thread uses while nothing arrives (it should sleep in poll),
//   2. latency from a byte written on the far side to the call of the read
//      hook, one byte at a time.
// Usage: kestrune_bench_serial [idle seconds, default 10] [bytes, default 1000]
#include <pthread.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/UnitComPort.h"
#include "tests/support/PtyPair.h"

namespace {

using Clock = std::chrono::steady_clock;

struct HookProbe {
  std::mutex lock;
  std::condition_variable called;
  bool haveCall = false;
  Clock::time_point calledAt;
  clockid_t threadClock{};
  bool haveClock = false;

  void OnRead(kestrune::TComPort& port) {
    const auto now = Clock::now();
    std::vector<uint8_t> buffer(1200);
    int32_t count = 0;
    port.ReadData(buffer, count);
    std::lock_guard<std::mutex> guard(lock);
    if (!haveClock) haveClock = pthread_getcpuclockid(pthread_self(), &threadClock) == 0;
    calledAt = now;
    haveCall = true;
    called.notify_all();
  }

  // The time of the hook call that follows `write`.
  Clock::time_point CallAfter(const std::function<void()>& write) {
    std::unique_lock<std::mutex> guard(lock);
    haveCall = false;
    guard.unlock();
    write();
    guard.lock();
    called.wait(guard, [&] { return haveCall; });
    return calledAt;
  }
};

double CpuSeconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
  const int idleSeconds = argc > 1 ? std::atoi(argv[1]) : 10;
  const int bytes = argc > 2 ? std::atoi(argv[2]) : 1000;

  kestrune::test::PtyPair farSide;
  HookProbe probe;
  kestrune::TComPort port;
  port.SetOnDataReadEvent([&](kestrune::TComPort& p) { probe.OnRead(p); });
  if (!port.Open(farSide.SlavePath(), 9600, 8, 0, 0)) {
    std::fprintf(stderr, "open failed: %s\n", port.LastError().c_str());
    return 1;
  }
  auto writeByte = [&] { farSide.Write({0x5A}); };

  std::vector<double> latencies;
  latencies.reserve(static_cast<size_t>(bytes));
  for (int i = 0; i < bytes; ++i) {
    const auto written = Clock::now();
    const auto called = probe.CallAfter([&] { writeByte(); });
    latencies.push_back(std::chrono::duration<double, std::micro>(called - written).count());
  }
  std::sort(latencies.begin(), latencies.end());
  auto percentile = [&](double p) {
    return latencies[std::min(latencies.size() - 1,
                              static_cast<size_t>(p * static_cast<double>(latencies.size())))];
  };

  const double threadBefore = CpuSeconds(probe.threadClock);
  const double processBefore = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
  std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));  // the measurement itself
  const double threadIdle = CpuSeconds(probe.threadClock) - threadBefore;
  const double processIdle = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - processBefore;

  std::printf("serial event thread, pseudo-terminal\n");
  std::printf(
      "  latency far-side write -> hook call over %d bytes: median %.1f us, p99 %.1f us,"
      " max %.1f us\n",
      bytes, percentile(0.50), percentile(0.99), latencies.back());
  std::printf("  event thread CPU over %d s idle: %.6f s (whole process: %.6f s)\n", idleSeconds,
              threadIdle, processIdle);
  port.Close();
  return 0;
}
