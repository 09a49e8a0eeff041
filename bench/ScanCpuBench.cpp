// How much CPU a channel scan costs while it mostly pauses: the whole
// process's CPU time (getrusage) during a scan of 20 channels with a 500 ms
// pause each, as a share of one core, and the part of it spent on the thread
// that runs the scan. The scan runs as the window runs it, in the console's
// Qt event pump (--plain: the condition-variable pump), against the
// simulated radio on a pseudo-terminal served by a thread of this process,
// so the radio's CPU time counts too.
// Usage: kestrune_bench_scan [channels, default 20] [delay ms, default 500]
//        [--sbep] [--plain]
#include <sys/resource.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "console/QtEventPump.h"
#include "console/ops/Scan.h"
#include "protocol/PlainEventPump.h"
#include "protocol/SB9600.h"
#include "sim/PtyLine.h"
#include "sim/RadioLink.h"

namespace kestrune {
namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void Quiet(const std::string&) {}

struct Options {
  int channels = 20;
  int delayMs = 500;
  bool sbep = false;
  bool plain = false;
};

Options ReadOptions(int argc, char** argv) {
  Options options;
  int position = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--sbep") == 0)
      options.sbep = true;
    else if (std::strcmp(argv[i], "--plain") == 0)
      options.plain = true;
    else if (position++ == 0)
      options.channels = std::max(1, std::atoi(argv[i]));
    else
      options.delayMs = std::max(0, std::atoi(argv[i]));
  }
  return options;
}

void Scan(EventPump& pump, const Options& options) {
  sim::PtyLine line("");
  sim::RadioLink radio(sim::RadioConfig{}, line.MasterFd());
  std::thread radioThread([&] { radio.Run(); });
  {
    TSb9600 engine(pump);
    engine.SetLog(Quiet, nullptr, false, false);
    engine.CreatePort(line.SlavePath(), 9600, 8, 0, 0, false, false);
    TOperationContext context{engine, pump, Quiet, [] { return false; }};
    int shown = 0;
    const TScanHooks hooks{
        pump,
        Quiet,
        [] { return false; },
        [] { return true; },
        [&] {
          return TScanChoices{1, true, false, options.sbep};
        },
        [&](int32_t, int) { ++shown; },
        [&](const std::function<void(TOperationContext&)>& fn) { fn(context); },
    };

    const double process0 = CpuSeconds(RUSAGE_SELF);
    const double thread0 = CpuSeconds(RUSAGE_THREAD);
    const auto t0 = Clock::now();
    RunScan(hooks, TScanRange{1000, 1000 + options.channels, options.delayMs});
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double process = CpuSeconds(RUSAGE_SELF) - process0;
    const double thread = CpuSeconds(RUSAGE_THREAD) - thread0;

    const auto received =
        radio.WithRadio([](sim::SimRadio& r) { return r.FramesReceived().size(); });
    std::printf("%s pump, %s, %d channels, delay %d ms: %d shown, %zu frames at the radio\n",
                options.plain ? "plain" : "Qt", options.sbep ? "SBEP" : "SB9600", options.channels,
                options.delayMs, shown, received);
    std::printf(
        "  wall %.2f s; process CPU %.1f ms = %.3f%% of one core; scan thread %.1f ms "
        "(%.3f%%); port and radio threads %.1f ms\n",
        wall, process * 1e3, 100.0 * process / wall, thread * 1e3, 100.0 * thread / wall,
        (process - thread) * 1e3);
  }
  radio.Stop();
  radioThread.join();
}

}  // namespace
}  // namespace kestrune

int main(int argc, char** argv) {
  const kestrune::Options options = kestrune::ReadOptions(argc, argv);
  if (options.plain) {
    kestrune::PlainEventPump pump;
    kestrune::Scan(pump, options);
    return 0;
  }
  QCoreApplication app(argc, argv);
  kestrune::QtEventPump pump;
  kestrune::Scan(pump, options);
  return 0;
}
