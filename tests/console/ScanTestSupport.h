// Pieces the scan and closing tests share: the channel settings the radio
// received, and an action run from inside the window's event loop once a
// condition holds (for instance inside a scan's pause or exchange).
#pragma once

#include <QLabel>
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "GuiTestSupport.h"

namespace kestrune::test {

// One channel setting as the radio received it.
struct SentChannel {
  bool sbep = false;
  uint16_t channel = 0;
  uint8_t modeOrOption = 0;  // SB9600: tune mode byte; SBEP: option byte
  uint16_t frames = 0;
  bool operator==(const SentChannel&) const = default;
};

inline void PrintTo(const SentChannel& s, std::ostream* os) {
  *os << (s.sbep ? "SBEP " : "SB9600 ") << s.channel << " mode/option " << int(s.modeOrOption)
      << " frames " << s.frames;
}

// Every tune frame the radio received, in order (each attempt counts).
inline std::vector<SentChannel> SentChannels(SimulatedRadio& radio) {
  return radio.WithRadio([](sim::SimRadio& r) {
    std::vector<SentChannel> sent;
    for (const sim::ReceivedFrame& f : r.FramesReceived()) {
      const auto& b = f.bytes;
      if (f.kind == sim::ReceivedFrame::Kind::Sb9600 && b.size() == 5 && b[3] == 0x3F)
        sent.push_back({false, uint16_t(b[1] << 8 | b[2]), b[0], 0});
      if (f.kind == sim::ReceivedFrame::Kind::Sbep && b.size() == 10 && b[1] == 0x2B)
        sent.push_back({true, uint16_t(b[7] << 8 | b[8]), b[3], uint16_t(b[5] << 8 | b[6])});
    }
    return sent;
  });
}

inline std::vector<uint16_t> ChannelNumbers(SimulatedRadio& radio) {
  std::vector<uint16_t> numbers;
  for (const SentChannel& s : SentChannels(radio)) numbers.push_back(s.channel);
  return numbers;
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
