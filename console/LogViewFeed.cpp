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

void TLogViewFeed::Post(const QString& line) {
  const bool onOwnThread = QThread::currentThread() == thread();
  bool requestTimer = false;
  {
    std::lock_guard lock(mutex_);
    pending_.append(line);
    if (!onOwnThread && !timerRequested_) requestTimer = timerRequested_ = true;
  }
  if (onOwnThread)
    Flush();
  else if (requestTimer)
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
