#include "console/ErrorReport.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

#include "console/ConsoleLog.h"
#include "console/QuitOnSignal.h"

namespace kestrune {

namespace {

ErrorReportSink& Sink() {
  static ErrorReportSink sink;
  return sink;
}

void ShowMessageBox(const QString& text) {
  QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), text,
                  QMessageBox::Ok, QApplication::activeWindow());
  box.exec();
}

// After a quit signal nobody may be there to press OK (the session is
// ending, a service manager is waiting): the report goes to standard error
// and the log file, and the program goes on to its end.
void ReportUnattended(const QString& text) {
  std::fprintf(stderr, "kestrune: %s\n", qUtf8Printable(text));
  std::fflush(stderr);
  LogLine("error: " + text.toStdString());
}

}  // namespace

QString ErrorReportText(const QString& message) {
  if (!message.isEmpty() && message.back().unicode() > u'.') return message + u'.';
  return message;
}

void ShowErrorReport(const QString& message) {
  const QString text = ErrorReportText(message);
  if (TQuitOnSignal::CloseRequested())
    ReportUnattended(text);
  else if (Sink())
    Sink()(text);
  else
    ShowMessageBox(text);
}

void SetErrorReportSink(ErrorReportSink sink) { Sink() = std::move(sink); }

}  // namespace kestrune
