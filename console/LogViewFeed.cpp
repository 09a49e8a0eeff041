#include "console/LogViewFeed.h"

#include <QPlainTextEdit>
#include <QThread>

namespace kestrune {

TLogViewFeed::TLogViewFeed(QPlainTextEdit* view, std::chrono::milliseconds interval)
    : QObject(view), view_(view) {
  timer_.setSingleShot(true);
  timer_.setInterval(interval);
  connect(&timer_, &QTimer::timeout, this, &TLogViewFeed::Flush);
}

void TLogViewFeed::Post(const QString& line, Show when) {
  {
    std::lock_guard lock(mutex_);
    pending_.append(line);
  }
  if (when == Show::Now) ShowPending();
}

void TLogViewFeed::ShowPending() {
  if (QThread::currentThread() == thread()) {
    Flush();
    return;
  }
  {
    std::lock_guard lock(mutex_);
    if (timerRequested_ || pending_.isEmpty()) return;
    timerRequested_ = true;
  }
  QMetaObject::invokeMethod(this, &TLogViewFeed::StartTimer, Qt::QueuedConnection);
}

void TLogViewFeed::StartTimer() {
  if (!timer_.isActive()) timer_.start();
}

void TLogViewFeed::Flush() {
  QStringList lines;
  {
    std::lock_guard lock(mutex_);
    lines.swap(pending_);
    timerRequested_ = false;
  }
  if (!lines.isEmpty()) view_->appendPlainText(lines.join(u'\n'));
}

}  // namespace kestrune
