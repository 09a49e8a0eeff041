// What waiting for an unplugged adapter costs, and how soon the window is
// back when it returns.
//
// The window runs offscreen in this process with COM1 mapped to a link made
// by the simulator program (a process of its own, so its CPU time does not
// count). Killing the simulator and removing its link is the adapter
// unplugged; the window then waits for the device to come back. Over that
// wait this measures the CPU time of the whole process
// (CLOCK_PROCESS_CPUTIME_ID: the GUI thread and whatever else the window
// keeps running). Then a new simulator, started on a link path of its own,
// has its link renamed onto the device path, as a device node appears in
// one step, and this times the rename until the window shows the port open
// again. For comparison, the process's CPU time over the same span with the
// port open and idle, before the unplugging.
//
//   kestrune_bench_unplugged_wait [runs, default 3] [wait seconds, default 10]
#include <signal.h>
#include <time.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "console/ErrorReport.h"
#include "console/UnitMain.h"
#include "protocol/CRC16.h"
#include "tests/support/Files.h"
#include "tests/support/Process.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using test::Process;
using test::ProcessIo;
using test::ScratchDir;

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Serves the window's events until `done` holds (checked every millisecond)
// or the patience runs out; false then.
bool ServeUntil(const std::function<bool()>& done,
                std::chrono::milliseconds patience = test::kProgramPatience) {
  if (done()) return true;
  QEventLoop loop;
  QTimer check;
  check.setTimerType(Qt::PreciseTimer);
  QObject::connect(&check, &QTimer::timeout, &loop, [&] {
    if (done()) loop.quit();
  });
  QTimer::singleShot(patience, &loop, &QEventLoop::quit);
  check.start(1);
  loop.exec();
  return done();
}

// Serves the window's events, and nothing else, for `seconds`.
void ServeFor(double seconds) {
  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(seconds * 1000), Qt::PreciseTimer, &loop, &QEventLoop::quit);
  loop.exec();
}

// The simulator on `link`, once its first line says the link is there.
std::unique_ptr<Process> StartRadio(const ScratchDir& dir, const fs::path& link, int n) {
  const fs::path out = dir.Path() / ("sim-" + std::to_string(n) + ".txt");
  auto sim = std::make_unique<Process>(
      std::vector<std::string>{KESTRUNE_SIM_PROGRAM, "--quiet", "--link", link.string()},
      ProcessIo{dir.Path(), {}, out, {}, {}});
  const auto deadline = Clock::now() + test::kProgramPatience;
  while (test::ReadFile(out).find(link.string()) == std::string::npos) {
    if (Clock::now() > deadline) throw std::runtime_error("the simulator did not start");
    ServeFor(0.01);
  }
  return sim;
}

struct Run {
  double openCpu = 0;   // s, over the same time with the port open and idle
  double waitWall = 0;  // s
  double waitCpu = 0;   // s
  double reopen = 0;    // s
};

// The process's CPU time while serving the window's events for `seconds`.
double CpuWhileServing(double seconds) {
  const double before = ProcessCpuSeconds();
  ServeFor(seconds);
  return ProcessCpuSeconds() - before;
}

Run OneRun(double waitSeconds) {
  ScratchDir dir;
  const fs::path link = dir.Path() / "radio";
  auto sim = StartRadio(dir, link, 1);
  std::ofstream(dir.Path() / "settings.ini") << "[devices]\nCOM1=" << link.string() << "\n";

  TForm1Options options;
  options.ProgramDir = QString::fromStdString(dir.Path().string());
  auto form = std::make_unique<TForm1>(std::move(options));
  form->show();
  const auto state = [&](TForm1::LineState s) {
    return [&form, s] { return form->CurrentLineState() == s; };
  };
  if (!ServeUntil(state(TForm1::LineState::Open))) throw std::runtime_error("COM1 did not open");
  Run run;
  ServeFor(0.5);  // the opening's log lines and repaint are not the idle time
  run.openCpu = CpuWhileServing(waitSeconds);

  sim->Signal(SIGKILL);
  sim->Wait();
  fs::remove(link);
  if (!ServeUntil(state(TForm1::LineState::Waiting)))
    throw std::runtime_error("the window did not notice the hang-up");
  ServeFor(0.5);  // the hang-up's log lines and repaint are not the wait

  const double cpu0 = ProcessCpuSeconds();
  const Clock::time_point wall0 = Clock::now();
  ServeFor(waitSeconds);
  run.waitCpu = ProcessCpuSeconds() - cpu0;
  run.waitWall = std::chrono::duration<double>(Clock::now() - wall0).count();

  const fs::path aside = dir.Path() / "radio-new";
  sim = StartRadio(dir, aside, 2);
  const Clock::time_point back = Clock::now();
  fs::rename(aside, link);
  if (!ServeUntil(state(TForm1::LineState::Open))) throw std::runtime_error("COM1 did not reopen");
  run.reopen = std::chrono::duration<double>(Clock::now() - back).count();

  form.reset();
  sim->Signal(SIGTERM);
  sim->Wait();
  return run;
}

}  // namespace
}  // namespace kestrune

int main(int argc, char** argv) {
  using namespace kestrune;
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const double waitSeconds = argc > 2 ? std::max(1.0, std::atof(argv[2])) : 10.0;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  BuildCrc16Table(kSb9600CrcConstant);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Kestrune"));
  SetErrorReportSink([](const QString&) {});

  std::printf(
      "| run | wait | process CPU | share of one core | same time open, idle | rename to open |\n"
      "|---|---|---|---|---|---|\n");
  for (int i = 1; i <= runs; ++i) {
    const Run run = OneRun(waitSeconds);
    std::printf("| %d | %.2f s | %.2f ms | %.4f %% | %.2f ms | %.1f ms |\n", i, run.waitWall,
                run.waitCpu * 1e3, 100.0 * run.waitCpu / run.waitWall, run.openCpu * 1e3,
                run.reopen * 1e3);
    std::fflush(stdout);
  }
  return 0;
}
