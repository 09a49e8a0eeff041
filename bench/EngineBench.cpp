// How the bus engine waits and how fast it recognises bytes:
//   a. CPU time of the whole process during one timed-out 3000 ms response
//      wait (the engine sleeps in its event pump; a polling wait uses a core),
//   b. latency from the arrival of the byte that completes an echo to the
//      return of SendRepeatAndWait, measured after the post-send delay,
//   c. recognition-pass throughput on random bytes, read by read.
// The engine runs over a pseudo-terminal with a scripted radio on the far side.
// Usage: kestrune_bench_engine [exchanges for b, default 50]
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "protocol/PlainEventPump.h"
#include "protocol/SB9600.h"
#include "tests/support/EngineTestPeer.h"
#include "tests/support/FarSide.h"
#include "tests/support/Frames.h"
#include "tests/support/LogRecorder.h"

#ifdef KESTRUNE_BENCH_QT
#include <QCoreApplication>

#include "console/QtEventPump.h"
#endif

namespace kestrune {
namespace {

using namespace test;
using Clock = std::chrono::steady_clock;
const Bytes kFrame{0x00, 0x12, 0x01, 0x06, 0x02};

double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void TimedOutWait(EventPump& pump) {
  FarSide radio;  // silent
  TSb9600 engine(pump);
  engine.CreatePort(radio.SlavePath(), 9600, 8, 0, 0, false, false);
  TSb9600TestPeer peer(engine);
  peer.Sent(kFrame);
  const double cpu0 = ProcessCpuSeconds();
  const auto t0 = Clock::now();
  const bool done = peer.WaitResponse();
  const double wallMs = Ms(Clock::now() - t0);
  const double cpuMs = (ProcessCpuSeconds() - cpu0) * 1000.0;
  std::printf("a. timed-out response wait: %.1f ms wall, %.2f ms CPU (%.3f%% of one core)%s\n",
              wallMs, cpuMs, 100.0 * cpuMs / wallMs, done ? " [unexpectedly completed]" : "");
}

void CompletionLatency(EventPump& pump, int exchanges) {
  FarSide radio;
  TSb9600 engine(pump);
  engine.CreatePort(radio.SlavePath(), 9600, 8, 0, 0, false, false);
  const int32_t delayMs = TSb9600::PostSendDelayMs(9600, 5);
  // The radio echoes four bytes at once and the completing byte well after
  // the engine's post-send delay, so the engine is asleep in its wait.
  radio.On(kFrame, {{Bytes(kFrame.begin(), kFrame.end() - 1), {}}}, exchanges);

  std::vector<double> latencies;
  for (int i = 0; i < exchanges; ++i) {
    Clock::time_point completed{};
    std::thread last([&] {
      LogRecorder::WaitFor([&] { return radio.Count(kFrame) > i; });
      std::this_thread::sleep_for(std::chrono::milliseconds(delayMs + 60));
      completed = Clock::now();
      radio.Send({kFrame.back()});
    });
    const bool ok = engine.SendRepeatAndWait(kFrame);
    const auto returned = Clock::now();
    last.join();
    if (!ok) {
      std::printf("b. exchange %d did not complete\n", i);
      continue;
    }
    latencies.push_back(Ms(returned - completed));
  }
  std::sort(latencies.begin(), latencies.end());
  if (latencies.empty()) return;
  const auto at = [&](double q) {
    return latencies[static_cast<size_t>(q * (latencies.size() - 1))];
  };
  std::printf(
      "b. completing byte -> SendRepeatAndWait returns (%zu exchanges): "
      "median %.3f ms, p90 %.3f ms, max %.3f ms\n",
      latencies.size(), at(0.5), at(0.9), latencies.back());
}

// Feeds random bytes in read-sized chunks; `arm` sets up the stage before
// each read.
template <typename Arm>
void Throughput(const char* what, Arm arm) {
  PlainEventPump pump;
  TSb9600 engine(pump);
  TSb9600TestPeer peer(engine);
  std::mt19937 random(9600);
  std::vector<Bytes> chunks(64, Bytes(TSb9600::kReadChunkSize));
  for (Bytes& chunk : chunks)
    for (uint8_t& b : chunk) b = static_cast<uint8_t>(random());

  size_t bytes = 0;
  const auto t0 = Clock::now();
  Clock::duration elapsed{};
  do {
    for (const Bytes& chunk : chunks) {
      arm(engine, peer);
      peer.Receive(chunk);
      bytes += chunk.size();
    }
    elapsed = Clock::now() - t0;
  } while (elapsed < std::chrono::seconds(1));
  const double seconds = std::chrono::duration<double>(elapsed).count();
  std::printf("c. recognition pass, %s: %.1f MB/s\n", what,
              static_cast<double>(bytes) / seconds / 1e6);
}

void RecognitionThroughput() {
  Throughput("awaiting an echo (bytes skipped one by one)", [](TSb9600& e, TSb9600TestPeer& p) {
    e.SbepMode = false;
    p.Sent(kFrame);
  });
  Throughput("SB9600 frames after the echo", [](TSb9600& e, TSb9600TestPeer& p) {
    e.SbepMode = false;
    p.Sent(kFrame);
    p.Receive(kFrame);
  });
  const Bytes request = WithSbepChecksum({0xF5, 0x11, 0x01, 0x00, 0x20, 0x00});
  Throughput("SBEP reply awaited after echo and acknowledge", [&](TSb9600& e, TSb9600TestPeer& p) {
    e.SbepMode = true;
    p.Sent(request);
    Bytes echoAck = request;
    echoAck.push_back(0x50);
    p.Receive(echoAck);
  });
}

}  // namespace
}  // namespace kestrune

int main(int argc, char** argv) {
  const int exchanges = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
#ifdef KESTRUNE_BENCH_QT
  QCoreApplication app(argc, argv);
  kestrune::QtEventPump pump;
  std::printf("event pump: Qt (%s)\n", qVersion());
#else
  kestrune::PlainEventPump pump;
  std::printf("event pump: plain (condition variable)\n");
#endif
  kestrune::TimedOutWait(pump);
  kestrune::CompletionLatency(pump, exchanges);
  kestrune::RecognitionThroughput();
  return 0;
}
