// Pieces the scan and closing tests share: the channel settings the radio
// received (core/SentChannels.h), and an action run from inside the window's
// event loop once a condition holds (inside a scan's pause or exchange).
#pragma once

#include <QLabel>
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "tests/support/SentChannels.h"
#include "tests/support/Window.h"

namespace kestrune::test {

inline std::vector<SentChannel> SentChannels(SimulatedRadio& radio) {
  return radio.WithRadio([](sim::SimRadio& r) { return SentChannels(r); });
}

inline std::vector<uint16_t> ChannelNumbers(SimulatedRadio& radio) {
  return radio.WithRadio([](sim::SimRadio& r) { return ChannelNumbers(r); });
}

// Runs `then` once, from the event loop of whatever wait is running, as soon
// as `when` holds. It looks every millisecond, so it acts inside a pause or
// an exchange of the window as an operator's click would.
class WhenThen : public QObject {
 public:
  WhenThen(std::function<bool()> when, std::function<void()> then)
      : when_(std::move(when)), then_(std::move(then)) {
    timer_.setInterval(1);
    connect(&timer_, &QTimer::timeout, this, [this] {
      if (fired_ || !when_()) return;
      fired_ = true;
      timer_.stop();
      then_();
    });
    timer_.start();
  }
  bool Fired() const { return fired_; }

 private:
  std::function<bool()> when_;
  std::function<void()> then_;
  QTimer timer_;
  bool fired_ = false;
};

// The scan's log line for a channel is in the view.
inline std::function<bool()> Logged(const TForm1& form, int channel) {
  return [&form, channel] {
    return ViewTexts(form).contains(QStringLiteral("channel %1 set").arg(channel));
  };
}

// The exchange of a channel is under way: shown in panel 0, not yet logged.
inline std::function<bool()> Exchanging(const TForm1& form, int channel) {
  return [&form, channel, logged = Logged(form, channel)] {
    return form.StatusPanels[0]->text() == QString::number(channel) && !logged();
  };
}

}  // namespace kestrune::test
