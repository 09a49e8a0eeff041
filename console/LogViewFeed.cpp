#include "console/LogViewFeed.h"

#include <QThread>

#include "console/LogView.h"

namespace kestrune {

TLogViewFeed::TLogViewFeed(LogView* view, std::chrono::milliseconds interval)
    : QObject(view), view_(view) {
  timer_.setSingleShot(true);
  timer_.setInterval(interval);
  connect(&timer_, &QTimer::timeout, this, &TLogViewFeed::Flush);
}

void TLogViewFeed::Post(std::string line, Show when) {
  {
    std::lock_guard lock(mutex_);
    pending_.push_back(std::move(line));
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
    if (timerRequested_ || pending_.empty()) return;
    timerRequested_ = true;
  }
  QMetaObject::invokeMethod(this, &TLogViewFeed::StartTimer, Qt::QueuedConnection);
}

void TLogViewFeed::StartTimer() {
  if (!timer_.isActive()) timer_.start();
}

void TLogViewFeed::Flush() {
  std::vector<std::string> lines;
  {
    std::lock_guard lock(mutex_);
    lines.swap(pending_);
    timerRequested_ = false;
  }
  view_->Append(lines);
}

}  // namespace kestrune
