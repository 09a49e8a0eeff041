// The channel scan against the simulated radio: the channels and frames that
// go out, the log lines, the progress, the pauses (lower bounds only), and
// the program closing in a pause or an exchange.
#include "console/ops/Scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>

#include "OperationTestKit.h"
#include "protocol/SB9600.h"
#include "tests/support/SentChannels.h"

namespace kestrune::test {
namespace {

using Clock = std::chrono::steady_clock;
using Channels = std::vector<uint16_t>;
using Lines = std::vector<std::string>;

// Runs scans over the kit's engine and records what they report and when.
struct ScanRecorder {
  explicit ScanRecorder(OperationTestKit& k) : kit(k) {}

  OperationTestKit& kit;
  TOperationContext context = kit.Context();
  TScanChoices choices;
  std::function<void(const std::string& line)> afterLine = [](const std::string&) {};
  std::vector<int32_t> shown;
  std::vector<int> progress;
  std::vector<Clock::time_point> shownAt, loggedAt;
  Lines lines;
  Clock::time_point endedAt;
  int notTaken = -1;  // what the last run returned

  void Run(int32_t from, int32_t to, int32_t delayMs) {
    const TScanHooks hooks{
        kit.Pump(),
        [this](const std::string& line) {
          loggedAt.push_back(Clock::now());
          lines.push_back(line);
          afterLine(line);
        },
        [this] { return context.Stopping(); },
        [] { return true; },
        [this] { return choices; },
        [this](int32_t channel, int percent) {
          shownAt.push_back(Clock::now());
          shown.push_back(channel);
          progress.push_back(percent);
        },
        [this](const std::function<void(TOperationContext&)>& fn) { fn(context); },
    };
    notTaken = RunScan(hooks, TScanRange{from, to, delayMs});
    endedAt = Clock::now();
  }

  // From each channel's log line to the next channel, or to the end.
  std::vector<int64_t> PausesMs() const {
    std::vector<int64_t> pauses;
    for (size_t i = 0; i < loggedAt.size(); ++i) {
      const auto next = i + 1 < shownAt.size() ? shownAt[i + 1] : endedAt;
      pauses.push_back(
          std::chrono::duration_cast<std::chrono::milliseconds>(next - loggedAt[i]).count());
    }
    return pauses;
  }

  Channels Sent() {
    return kit.Radio([](sim::SimRadio& r) { return ChannelNumbers(r); });
  }
};

TEST(ScanOperation, SetsFromUpToButNotToWithAPauseAfterEachExchange) {
  OperationTestKit kit;
  ScanRecorder scan(kit);
  scan.Run(100, 105, 500);

  EXPECT_EQ(scan.Sent(), (Channels{100, 101, 102, 103, 104}));
  EXPECT_EQ(scan.lines, (Lines{"channel 100 set", "channel 101 set", "channel 102 set",
                               "channel 103 set", "channel 104 set"}));
  EXPECT_EQ(scan.shown, (std::vector<int32_t>{100, 101, 102, 103, 104}));
  EXPECT_EQ(scan.progress, (std::vector<int>{0, 20, 40, 60, 80}));
  EXPECT_EQ(scan.notTaken, 0);
  ASSERT_EQ(scan.PausesMs().size(), 5u);
  for (int64_t pause : scan.PausesMs()) EXPECT_GE(pause, 500);
}

TEST(ScanOperation, EmptyRangesShortDelaysAndChannelsAbove65535) {
  OperationTestKit kit;
  ScanRecorder scan(kit);
  scan.Run(100, 100, 500);
  scan.Run(101, 100, 500);
  EXPECT_TRUE(scan.shown.empty());
  EXPECT_TRUE(scan.lines.empty());

  for (int32_t delay : {0, 50}) scan.Run(70000 + delay, 70001 + delay, delay);
  // Only the low 16 bits go out; the log shows the whole number.
  EXPECT_EQ(scan.Sent(), (Channels{4464, 4514}));
  EXPECT_EQ(scan.lines, (Lines{"channel 70000 set", "channel 70050 set"}));
  for (int64_t pause : scan.PausesMs()) EXPECT_GE(pause, 100);
}

TEST(ScanOperation, SbepChannelsEachGetAStayWithDeviceOneOptionElevenAndFramesTwo) {
  OperationTestKit kit;
  ScanRecorder scan(kit);
  scan.choices = TScanChoices{1, true, false, true};
  scan.Run(200, 202, 0);

  EXPECT_EQ(kit.Radio([](sim::SimRadio& r) { return SentChannels(r); }),
            (std::vector<SentChannel>{{true, 200, 0x11, 0x0002}, {true, 201, 0x11, 0x0002}}));
  const int entries = kit.Radio([](sim::SimRadio& r) {
    const auto request = TSb9600::ExpandedProtocolPkt;  // device 1
    return static_cast<int>(std::count_if(
        r.FramesReceived().begin(), r.FramesReceived().end(), [&](const sim::ReceivedFrame& f) {
          return std::equal(f.bytes.begin(), f.bytes.end(), request.begin(), request.end());
        }));
  });
  EXPECT_EQ(entries, 2);
  const Lines all = kit.Lines();
  EXPECT_EQ(std::count(all.begin(), all.end(), "leaving SBEP mode"), 2);
  EXPECT_FALSE(kit.Engine().SbepMode);
}

TEST(ScanOperation, ChannelsTheRadioDidNotTakeAreCounted) {
  sim::RadioConfig config;
  config.faults.refuseAck = sim::kEveryTime;  // no SBEP entry succeeds
  OperationTestKit kit(config);
  ScanRecorder scan(kit);
  scan.choices.Sbep = true;
  scan.Run(200, 203, 0);
  EXPECT_EQ(scan.notTaken, 3);
  EXPECT_EQ(scan.lines, (Lines{"channel 200 set", "channel 201 set", "channel 202 set"}));

  scan.choices.Sbep = false;  // plain frames are echoed all the same
  scan.Run(200, 203, 0);
  EXPECT_EQ(scan.notTaken, 0);
}

TEST(ScanOperation, ClosingEndsThePauseAtOnceButNeverCutsAnExchange) {
  OperationTestKit kit;
  bool closing = false;
  kit.stopWhen = [&] { return closing; };
  ScanRecorder scan(kit);
  std::optional<Clock::time_point> closedAt;
  scan.afterLine = [&](const std::string&) {
    // Arrives as an event inside the pause, as the window's close does.
    kit.Pump().Post([&] {
      closedAt = Clock::now();
      closing = true;
    });
  };
  scan.Run(100, 105, 60000);
  EXPECT_EQ(scan.Sent(), (Channels{100}));
  ASSERT_TRUE(closedAt);
  EXPECT_LT(scan.endedAt - *closedAt, std::chrono::seconds(30));  // not the 60 s pause

  // Closing already under way when an SBEP channel is shown: its stay runs
  // to the end, then the scan ends without a pause.
  ScanRecorder sbep(kit);
  sbep.choices.Sbep = true;
  kit.stopWhen = [&] { return !sbep.shown.empty(); };
  sbep.Run(300, 305, 60000);
  EXPECT_EQ(scan.Sent(), (Channels{100, 300}));
  EXPECT_EQ(sbep.lines, (Lines{"channel 300 set"}));
  EXPECT_FALSE(kit.Engine().SbepMode);
  EXPECT_LT(sbep.endedAt - sbep.loggedAt.back(), std::chrono::seconds(30));
}

// An unplugged adapter: the scan ends with one line, instead of logging
// channels that were never sent.
TEST(ScanOperation, APortThatHangsUpEndsTheScanWithOneLine) {
  OperationTestKit kit;
  ScanRecorder scan(kit);
  scan.afterLine = [&](const std::string& line) {
    if (line != "channel 101 set") return;
    kit.HangUp();
    ASSERT_TRUE(LogRecorder::WaitFor([&] { return kit.Engine().PortLost(); }));
  };
  scan.Run(100, 110, 0);
  EXPECT_EQ(scan.Sent(), (Channels{100, 101}));
  EXPECT_EQ(scan.lines,
            (Lines{"channel 100 set", "channel 101 set", "the port was lost: the scan ends"}));
  EXPECT_EQ(scan.notTaken, 8);  // 102 to 109
}

}  // namespace
}  // namespace kestrune::test
