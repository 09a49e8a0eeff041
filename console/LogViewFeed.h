// Feeds log lines from any thread into the log view without ever making the
// sender wait for the GUI thread.
//
// Lines are collected and appended to the view as one block: lines from
// other threads within a short interval, lines from the GUI thread at once
// together with whatever is still pending (so the view is in order, and a
// line the GUI thread logged is shown before that thread goes on). A block
// costs the view one insertion and one layout, whatever its size.
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune {

class LogView;

class TLogViewFeed : public QObject {
 public:
  static constexpr std::chrono::milliseconds kDefaultInterval{25};

  // The feed lives on the view's thread (the GUI thread).
  explicit TLogViewFeed(LogView* view, std::chrono::milliseconds interval = kDefaultInterval);

  enum class Show {
    Now,    // as soon as this thread can: at once on the GUI thread
    Later,  // with the next ShowPending() (a dump collects its lines so)
  };

  // Thread-safe. With Show::Now the line is in the view when this returns on
  // the GUI thread, and shown within the interval when posted elsewhere.
  void Post(std::string_view line, Show when = Show::Now);

  // Thread-safe: shows what is pending as Post(..., Show::Now) would.
  void ShowPending();

  // GUI thread: appends every pending line now.
  void Flush();

 private:
  void StartTimer();

  // Lines not yet shown, as compact as in the view: a burst from the event
  // thread may pile up many of them before the GUI thread gets to run.
  struct Pending {
    std::string Text;            // the lines one after another
    std::vector<uint32_t> Ends;  // where each line ends in Text
  };

  LogView* view_;
  QTimer timer_;
  std::mutex mutex_;
  Pending pending_;              // guarded by mutex_
  bool timerRequested_ = false;  // guarded by mutex_
};

}  // namespace kestrune
