#include "console/ErrorReport.h"

#include <QApplication>
#include <QMessageBox>

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

}  // namespace

QString ErrorReportText(const QString& message) {
  if (!message.isEmpty() && message.back().unicode() > u'.') return message + u'.';
  return message;
}

void ShowErrorReport(const QString& message) {
  const QString text = ErrorReportText(message);
  if (Sink())
    Sink()(text);
  else
    ShowMessageBox(text);
}

void SetErrorReportSink(ErrorReportSink sink) { Sink() = std::move(sink); }

}  // namespace kestrune
