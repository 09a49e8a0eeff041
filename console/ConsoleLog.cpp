#include "console/ConsoleLog.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QScopeGuard>
#include <cstdio>

#include "console/ErrorReport.h"
#include "console/LogViewFeed.h"
#include "console/QuitOnSignal.h"
#include "console/core/LogFile.h"
#include "console/core/LogText.h"

namespace kestrune {

namespace {

// Set while LogDump hands its lines to LogLine on this thread: the view then
// takes them as one block at the end of the dump instead of one by one.
thread_local bool t_inDump = false;

void ShowLine(const std::string& line) {
  TConsoleLog& log = ConsoleLog();
  if (log.AppClosing.load()) return;
  if (TLogViewFeed* view = log.View.load())
    view->Post(line, t_inDump ? TLogViewFeed::Show::Later : TLogViewFeed::Show::Now);
}

// Shown on the GUI thread, whichever thread found the failure: the message
// box must not block the event thread, and must not be raised inside the
// engine or the port.
void ReportFileFailure(const std::string& message) {
  TConsoleLog& log = ConsoleLog();
  if (log.FileFailureReported.exchange(true)) return;
  ShowLine(FormatLogLine(LogTimeOfDay(), message));
  // After a quit signal no event loop will show a box queued now.
  if (TQuitOnSignal::CloseRequested()) {
    std::fprintf(stderr, "kestrune: %s\n", message.c_str());
    return;
  }
  if (QCoreApplication* app = QCoreApplication::instance()) {
    QMetaObject::invokeMethod(
        app, [text = QString::fromStdString(message)] { ShowErrorReport(text); },
        Qt::QueuedConnection);
  }
}

void AppendToFile(const std::string& line) {
  TConsoleLog& log = ConsoleLog();
  try {
    std::lock_guard lock(log.LogLock);
    AppendLogFileLine(log.LogFileName, line);
  } catch (const EFileError& e) {
    ReportFileFailure(e.what());
    return;
  }
  log.FileFailureReported.store(false);
}

}  // namespace

TConsoleLog& ConsoleLog() {
  static TConsoleLog log;
  return log;
}

void LogLine(const std::string& s) {
  const std::string line = FormatLogLine(LogTimeOfDay(), s);
  if (ConsoleLog().LogToFile.load()) AppendToFile(line);
  ShowLine(line);
}

void LogDump(const uint8_t* p, int32_t len, const std::string& dir, const std::string& sig) {
  t_inDump = true;
  const auto done = qScopeGuard([] {
    t_inDump = false;
    if (TLogViewFeed* view = ConsoleLog().View.load()) view->ShowPending();
  });
  for (const std::string& line : FormatDumpLines(p, len, dir, sig)) LogLine(line);
}

}  // namespace kestrune
