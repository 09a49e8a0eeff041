// The general error report: an error that escapes an event handler ends that
// handler only; the operator sees its message in a box titled with the
// application's name, with an error icon and an OK button, and the program
// goes on.
//
// Every handler of the windows runs inside Guarded(). Tests replace the box
// with SetErrorReportSink() so that nothing modal blocks them.
#pragma once

#include <QString>
#include <exception>
#include <functional>
#include <utility>

namespace kestrune {

// The text the box shows: the message, with a full stop added when its last
// character's code is above that of the full stop itself.
QString ErrorReportText(const QString& message);

// Shows ErrorReportText(message) through the current sink; after a quit
// signal, writes it to standard error and the log file instead, asking
// nothing.
void ShowErrorReport(const QString& message);

// Receives the finished text (already through ErrorReportText). An empty
// function restores the message box.
using ErrorReportSink = std::function<void(const QString& text)>;
void SetErrorReportSink(ErrorReportSink sink);

// Runs a handler; a std::exception escaping it is reported and swallowed.
template <class Handler>
void Guarded(Handler&& handler) {
  try {
    std::forward<Handler>(handler)();
  } catch (const std::exception& e) {
    ShowErrorReport(QString::fromUtf8(e.what()));
  }
}

}  // namespace kestrune
