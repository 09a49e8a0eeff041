// Log view and log file: what LogLine and LogDump cost, what the view holds
// in memory, and whether the GUI keeps up with lines arriving from the
// port's event thread.
//
//   1. LogDump of a 1,200-byte block (75 lines) on the GUI thread with "Log
//      to file" on: each line is one open, write and close of the file, and
//      an append to the view.
//   2. For each count given (default 100,000 and 1,000,000): that many lines
//      of about 60 bytes logged by another thread, until the view shows the
//      last of them; the process's resident memory then, and the store's
//      bytes per line; a Find over all lines (a text no line holds, with and
//      without case); and Clear.
//   3. The GUI thread's event latency while another thread logs 1,000 lines
//      a second: a third thread posts a time-stamped event every 10 ms and the
//      GUI thread notes how late it runs. Once on an empty view, once on top
//      of the largest count of lines.
//
// Usage: kestrune_bench_logview [lines ...]
// Runs offscreen unless QT_QPA_PLATFORM says otherwise.
#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "console/ConsoleLog.h"
#include "console/LogView.h"
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

// The process's resident memory in MB (VmRSS of /proc/self/status).
double ResidentMb() {
  std::ifstream status("/proc/self/status");
  for (std::string key; status >> key;) {
    if (key == "VmRSS:") {
      double kb = 0;
      status >> kb;
      return kb / 1024;
    }
    status.ignore(1 << 10, '\n');
  }
  return 0;
}

// Serves GUI events until the view holds `lines` lines and shows the last.
void WaitUntilShown(LogView& view, int lines) {
  while (view.Model().rowCount() < lines)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  QCoreApplication::processEvents();  // the pending layout and paint
}

void BenchDumpToFile(LogView& view, const std::string& logFile) {
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
  view.Clear();
  std::printf(
      "LogDump 1200 bytes (75 lines), log to file on, 40 rounds:\n"
      "  file and view: median %.2f ms, p90 %.2f ms, max %.2f ms\n"
      "  file only:     median %.2f ms, p90 %.2f ms, max %.2f ms\n",
      Percentile(withView, 0.5), Percentile(withView, 0.9), Percentile(withView, 1.0),
      Percentile(fileOnly, 0.5), Percentile(fileOnly, 0.9), Percentile(fileOnly, 1.0));
}

void BenchLinesFromAnotherThread(LogView& view, int lines) {
  view.Clear();
  const double residentBefore = ResidentMb();
  const auto t0 = Clock::now();
  Clock::time_point producerDone;
  std::thread producer([&] {
    for (int i = 0; i < lines; ++i)
      LogLine("RX(5) 00 01 00 1D 13   |  ?????    CHANNEL " + std::to_string(i));
    producerDone = Clock::now();
  });
  WaitUntilShown(view, lines);
  const auto shown = Clock::now();
  producer.join();
  const bool atEnd = view.verticalScrollBar()->value() == view.verticalScrollBar()->maximum();
  const LogLineStore& store = view.Model().Store();
  size_t textBytes = 0;
  for (size_t i = 0; i < store.Size(); ++i) textBytes += store.Line(i).size();
  std::printf(
      "%d lines from another thread (%.0f bytes a line): all logged after %.0f ms, "
      "all shown after %.0f ms%s\n"
      "  resident %.0f MB (%.0f MB before), store %.1f bytes a line\n",
      lines, double(textBytes) / lines, Ms(producerDone - t0), Ms(shown - t0),
      atEnd ? "" : " (NOT at the last line)", ResidentMb(), residentBefore,
      double(store.BytesHeld()) / lines);

  for (const bool matchCase : {true, false}) {
    const auto t1 = Clock::now();
    const bool found =
        view.Find(QStringLiteral("no line holds this"), matchCase, LogView::Direction::Next);
    std::printf("  Find over all lines, %s: %.0f ms%s\n", matchCase ? "match case" : "any case",
                Ms(Clock::now() - t1), found ? " (found?)" : "");
  }
  const auto t2 = Clock::now();
  view.Find(QStringLiteral("CHANNEL 0"), false, LogView::Direction::Previous);
  std::printf("  Find Previous of the first line's text from the end: %.0f ms, row %d\n",
              Ms(Clock::now() - t2), view.currentIndex().row());

  const auto t3 = Clock::now();
  view.Clear();
  QCoreApplication::processEvents();
  std::printf("  Clear: %.1f ms, resident afterwards %.0f MB\n", Ms(Clock::now() - t3),
              ResidentMb());
}

void BenchEventLatency(LogView& view) {
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
      "GUI event latency while 1000 lines/s arrive (%zu probes over 5 s, %d lines in the view):\n"
      "  median %.2f ms, p99 %.2f ms, max %.2f ms\n",
      latencies.size(), view.Model().rowCount(), Percentile(latencies, 0.5),
      Percentile(latencies, 0.99), Percentile(latencies, 1.0));
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  std::vector<int> counts;
  for (int i = 1; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
  if (counts.empty()) counts = {100000, 1000000};

  const test::ScratchDir scratch;
  const std::filesystem::path& dir = scratch.Path();

  // The log view as the main window has it.
  LogView view;
  view.resize(700, 400);
  view.show();
  TLogViewFeed feed(&view);
  ConsoleLog().View = &feed;
  std::printf("resident at start: %.0f MB\n", ResidentMb());

  BenchDumpToFile(view, (dir / "bench.log").string());
  for (const int lines : counts) BenchLinesFromAnotherThread(view, lines);
  BenchEventLatency(view);

  // The same on top of the most lines: each block then lays out that many rows.
  const int most = *std::max_element(counts.begin(), counts.end());
  view.Clear();
  std::thread filler([&] {
    for (int i = 0; i < most; ++i)
      LogLine("RX(5) 00 01 00 1D 13   |  ?????    CHANNEL " + std::to_string(i));
  });
  WaitUntilShown(view, most);  // serving the feed meanwhile, as the window does
  filler.join();
  std::printf("%d lines again after Clear: resident %.0f MB\n", most, ResidentMb());
  BenchEventLatency(view);

  ConsoleLog().View = nullptr;
  return 0;
}
