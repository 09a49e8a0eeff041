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

void TLogViewFeed::Post(std::string_view line, Show when) {
  {
    std::lock_guard lock(mutex_);
    pending_.Text += line;
    pending_.Ends.push_back(static_cast<uint32_t>(pending_.Text.size()));
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
    if (timerRequested_ || pending_.Ends.empty()) return;
    timerRequested_ = true;
  }
  QMetaObject::invokeMethod(this, &TLogViewFeed::StartTimer, Qt::QueuedConnection);
}

void TLogViewFeed::StartTimer() {
  if (!timer_.isActive()) timer_.start();
}

void TLogViewFeed::Flush() {
  Pending taken;
  {
    std::lock_guard lock(mutex_);
    std::swap(taken, pending_);
    timerRequested_ = false;
  }
  std::vector<std::string_view> lines;
  lines.reserve(taken.Ends.size());
  const std::string_view text = taken.Text;
  size_t start = 0;
  for (const uint32_t end : taken.Ends) {
    lines.push_back(text.substr(start, end - start));
    start = end;
  }
  view_->Append(lines);
}

}  // namespace kestrune
