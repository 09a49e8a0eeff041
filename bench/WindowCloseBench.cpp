// Close to exit for the window, in the states a click starts: the time from
// the close (the window's close event, or SIGTERM) until the application's
// loop has ended and the window is destroyed, port closed and settings
// written, which is where main() returns.
//
// The window runs offscreen in this process against the simulated radio on
// a pseudo-terminal, as the program does against a radio; a silent radio is
// a radio that echoes and answers nothing.
//
//   kestrune_bench_window_close [runs]   (default 3)
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "console/ConsoleLog.h"
#include "console/DialogSeam.h"
#include "console/ErrorReport.h"
#include "console/QuitOnSignal.h"
#include "console/UnitMain.h"
#include "protocol/CRC16.h"
#include "tests/support/Files.h"
#include "tests/support/SimulatedRadio.h"

namespace kestrune {
namespace {

using Clock = std::chrono::steady_clock;
using test::ScratchDir;
using test::SimulatedRadio;

// How long a state has run before the close comes.
constexpr int kSettleMs = 300;

enum class Close { Event, Signal };

struct State {
  const char* Name;
  std::string Settings;  // settings.ini beyond COM1
  bool SilentRadio;
  bool ReadOnlySettings;
  std::function<void(TForm1&)> Begin;  // the click that starts the state
};

// One run: the window on a fresh radio and program folder, the state begun,
// the close after kSettleMs; seconds from the close to the window's end.
double CloseToExit(const State& state, Close how) {
  ScratchDir dir;
  SimulatedRadio radio;
  if (state.SilentRadio) {
    sim::Faults faults;
    faults.silent = true;
    radio.SetFaults(faults);
  }
  const auto settings = dir.Path() / "settings.ini";
  std::ofstream(settings) << "[devices]\nCOM1=" << radio.DevicePath() << "\n" << state.Settings;
  if (state.ReadOnlySettings) std::filesystem::permissions(settings, std::filesystem::perms(0444));

  TQuitOnSignal quit;
  TForm1Options options;
  options.ProgramDir = QString::fromStdString(dir.Path().string());
  auto form = std::make_unique<TForm1>(std::move(options));
  quit.SetWindow(form.get());
  form->show();

  Clock::time_point closedAt;
  // The window serves no events in a script's delay: the signal comes from
  // another thread, as it does from outside the process.
  std::thread signaller;
  const auto close = [&] {
    closedAt = Clock::now();
    if (how == Close::Event)
      form->close();
    else
      kill(getpid(), SIGTERM);
  };
  QTimer::singleShot(0, form.get(), [&] { state.Begin(*form); });
  if (how == Close::Signal) {
    signaller = std::thread([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(kSettleMs));
      close();
    });
  } else {
    QTimer::singleShot(kSettleMs, form.get(), close);
  }
  QApplication::exec();
  form.reset();
  const Clock::time_point ended = Clock::now();
  if (signaller.joinable()) signaller.join();
  return std::chrono::duration<double>(ended - closedAt).count();
}

std::vector<State> States() {
  return {
      {"idle", "", false, false, [](TForm1&) {}},
      {"a scan's pause (60 s)", "[scan]\nchn_from=100\nchn_to=105\ndelay=60000\n", false, false,
       [](TForm1& f) { f.ButtonScan->click(); }},
      {"an exchange with a silent radio", "[buttons1]\nButtonP1_0=Mute;01 02 00 12 01\n", true,
       false, [](TForm1& f) { f.CommandButton(1, 0)->click(); }},
      {"a memory read from a silent radio", "", true, false,
       [](TForm1& f) { f.ButtonMemRead->click(); }},
      {"a script in a 30 s delay", "", false, false,
       [](TForm1& f) {
         f.MemoCustomPacket->setPlainText("delay 30000\n");
         f.ButtonSendCustomPacket->click();
       }},
      {"a read-only settings.ini", "", false, true, [](TForm1&) {}},
  };
}

void PrintRow(const char* how, const char* state, std::vector<double> seconds) {
  std::sort(seconds.begin(), seconds.end());
  std::printf("| window, %s | %s | %.3f s | %.3f s | %.3f s |\n", how, state, seconds.front(),
              seconds[seconds.size() / 2], seconds.back());
  std::fflush(stdout);
}

}  // namespace
}  // namespace kestrune

int main(int argc, char** argv) {
  using namespace kestrune;
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  BuildCrc16Table(kSb9600CrcConstant);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Kestrune"));
  // Nobody is there to answer: a box would hold the loop, a question is
  // answered "yes, close", a read's file is one in the scratch folder.
  SetErrorReportSink([](const QString&) {});
  SetQuestionSink([](const QString&) { return true; });
  const ScratchDir files;
  const QString target = QString::fromStdString((files.Path() / "read.bin").string());
  SetFileDialogSink([&](QFileDialog&) { return std::optional<FileDialogAnswer>({target, 0}); });

  std::printf("| close | state | min | median | max |\n|---|---|---|---|---|\n");
  for (const State& state : States()) {
    // A script's delay serves no events, so only a signal can reach it.
    const bool eventReaches = std::string(state.Name) != "a script in a 30 s delay";
    for (const Close how : {Close::Event, Close::Signal}) {
      if (how == Close::Event && !eventReaches) continue;
      std::vector<double> seconds;
      for (int i = 0; i < runs; ++i) seconds.push_back(CloseToExit(state, how));
      PrintRow(how == Close::Event ? "close event" : "SIGTERM", state.Name, seconds);
    }
  }
  return 0;
}
