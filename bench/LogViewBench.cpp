// Log view and log file: what LogLine and LogDump cost, and whether the GUI
// keeps up with lines arriving from the port's event thread.
//
//   1. LogDump of a 1,200-byte block (75 lines) on the GUI thread with "Log
//      to file" on: each line is one open, write and close of the file, and
//      an append to the view.
//   2. 100,000 lines logged by another thread, until the view shows them all;
//      and, for comparison, the same lines appended one call per line.
//   3. The GUI thread's event latency while another thread logs 1,000 lines
//      a second: a third thread posts a time-stamped event every 10 ms and the
//      GUI thread notes how late it runs.
//
// Usage: kestrune_bench_logview [lines for 2 (default 100000)]
// Runs offscreen unless QT_QPA_PLATFORM says otherwise.
#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "console/ConsoleLog.h"
#include "console/LogViewFeed.h"
#include "tests/support/Files.h"

using namespace kestrune;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5))];
}

// Serves GUI events until the view holds `lines` lines.
void WaitUntilShown(QPlainTextEdit& view, int lines) {
  while (view.blockCount() < lines) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void BenchDumpToFile(QPlainTextEdit& view, const std::string& logFile) {
  ConsoleLog().LogFileName = logFile;
  ConsoleLog().LogToFile = true;
  std::vector<uint8_t> block(1200);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 7);

  std::vector<double> withView, fileOnly;
  TLogViewFeed* feed = ConsoleLog().View.load();
  for (int round = 0; round < 40; ++round) {
    ConsoleLog().View = feed;
    auto t0 = Clock::now();
    LogDump(block.data(), static_cast<int32_t>(block.size()), "RX", "CHANNEL NUMBER");
    withView.push_back(Ms(Clock::now() - t0));

    ConsoleLog().View = nullptr;
    t0 = Clock::now();
    LogDump(block.data(), static_cast<int32_t>(block.size()), "RX", "CHANNEL NUMBER");
    fileOnly.push_back(Ms(Clock::now() - t0));
  }
  ConsoleLog().View = feed;
  ConsoleLog().LogToFile = false;
  view.clear();
  std::printf(
      "LogDump 1200 bytes (75 lines), log to file on, 40 rounds:\n"
      "  file and view: median %.2f ms, p90 %.2f ms, max %.2f ms\n"
      "  file only:     median %.2f ms, p90 %.2f ms, max %.2f ms\n",
      Percentile(withView, 0.5), Percentile(withView, 0.9), Percentile(withView, 1.0),
      Percentile(fileOnly, 0.5), Percentile(fileOnly, 0.9), Percentile(fileOnly, 1.0));
}

void BenchLinesFromAnotherThread(QPlainTextEdit& view, int lines) {
  view.clear();
  const auto t0 = Clock::now();
  Clock::time_point producerDone;
  std::thread producer([&] {
    for (int i = 0; i < lines; ++i)
      LogLine("RX(5) 00 01 00 1D 13   |  ?????    line " + std::to_string(i));
    producerDone = Clock::now();
  });
  WaitUntilShown(view, lines);
  const auto shown = Clock::now();
  producer.join();
  std::printf("%d lines from another thread: all logged after %.0f ms, all shown after %.0f ms\n",
              lines, Ms(producerDone - t0), Ms(shown - t0));

  // The way it is not done: one append per line.
  view.clear();
  const int sample = std::min(lines, 10000);
  const auto t1 = Clock::now();
  for (int i = 0; i < sample; ++i)
    view.appendPlainText(
        QStringLiteral("12:00:00  RX(5) 00 01 00 1D 13   |  ?????    line %1").arg(i));
  const double perLine = Ms(Clock::now() - t1) / sample;
  std::printf("  for comparison, one append per line: %.1f us a line, %.1f s for %d lines\n",
              perLine * 1000, perLine * lines / 1000, lines);
  view.clear();
}

void BenchEventLatency(QPlainTextEdit& view) {
  view.clear();
  constexpr auto kRun = std::chrono::seconds(5);
  std::atomic<bool> stop{false};
  std::thread producer([&] {
    auto next = Clock::now();
    for (int i = 0; !stop; ++i) {
      LogLine("RX(5) 00 01 00 1D 13   |  ?????    line " + std::to_string(i));
      next += std::chrono::milliseconds(1);
      std::this_thread::sleep_until(next);
    }
  });
  std::mutex lock;
  std::vector<double> latencies;
  QObject receiver;
  std::thread prober([&] {
    auto next = Clock::now();
    while (!stop) {
      const auto posted = Clock::now();
      QMetaObject::invokeMethod(
          &receiver,
          [&, posted] {
            std::lock_guard guard(lock);
            latencies.push_back(Ms(Clock::now() - posted));
          },
          Qt::QueuedConnection);
      next += std::chrono::milliseconds(10);
      std::this_thread::sleep_until(next);
    }
  });
  const auto end = Clock::now() + kRun;
  while (Clock::now() < end) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  stop = true;
  producer.join();
  prober.join();
  QCoreApplication::processEvents();
  std::lock_guard guard(lock);
  std::printf(
      "GUI event latency while 1000 lines/s arrive (%zu probes over 5 s, %d lines shown):\n"
      "  median %.2f ms, p99 %.2f ms, max %.2f ms\n",
      latencies.size(), view.blockCount(), Percentile(latencies, 0.5), Percentile(latencies, 0.99),
      Percentile(latencies, 1.0));
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int lines = argc > 1 ? std::atoi(argv[1]) : 100000;

  const test::ScratchDir scratch;
  const std::filesystem::path& dir = scratch.Path();

  // The log view as the main window has it.
  QPlainTextEdit view;
  view.setLineWrapMode(QPlainTextEdit::WidgetWidth);
  view.resize(700, 400);
  view.show();
  TLogViewFeed feed(&view);
  ConsoleLog().View = &feed;

  BenchDumpToFile(view, (dir / "bench.log").string());
  BenchLinesFromAnotherThread(view, lines);
  BenchEventLatency(view);

  ConsoleLog().View = nullptr;
  return 0;
}
