// The channel scan against the simulated radio: which channels go out and in
// which frames, the log lines, the progress, the pauses (lower bounds only),
// and how a stop by the operator differs from the program closing.
#include "console/core/Scan.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>

#include "OperationTestKit.h"
#include "protocol/SB9600.h"

namespace kestrune::test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// One channel setting as the radio received it.
struct SentChannel {
  bool sbep = false;
  uint16_t channel = 0;
  uint8_t modeOrOption = 0;  // SB9600: tune mode byte; SBEP: option byte
  uint16_t frames = 0;
  bool operator==(const SentChannel&) const = default;
};

std::vector<SentChannel> SentChannels(OperationTestKit& kit) {
  return kit.Radio([](sim::SimRadio& radio) {
    std::vector<SentChannel> sent;
    for (const sim::ReceivedFrame& f : radio.FramesReceived()) {
      const auto& b = f.bytes;
      if (f.kind == sim::ReceivedFrame::Kind::Sb9600 && b.size() == 5 && b[3] == 0x3F)
        sent.push_back({false, uint16_t(b[1] << 8 | b[2]), b[0], 0});
      if (f.kind == sim::ReceivedFrame::Kind::Sbep && b.size() == 10 && b[1] == 0x2B)
        sent.push_back({true, uint16_t(b[7] << 8 | b[8]), b[3], uint16_t(b[5] << 8 | b[6])});
    }
    return sent;
  });
}

std::vector<uint16_t> ChannelNumbers(OperationTestKit& kit) {
  std::vector<uint16_t> numbers;
  for (const SentChannel& s : SentChannels(kit)) numbers.push_back(s.channel);
  return numbers;
}

std::vector<std::string> ScanLines(const OperationTestKit& kit) {
  std::vector<std::string> lines;
  for (const std::string& line : kit.Lines())
    if (line.starts_with("channel ") || line == "Port is not open") lines.push_back(line);
  return lines;
}

// A scan over the kit's engine that records what it reports and when.
class ScanRecorder {
 public:
  explicit ScanRecorder(OperationTestKit& kit) : kit_(kit), context_(kit.Context()) {}

  bool withEngine = true;
  std::function<bool()> running = [] { return true; };
  // Asked with the position of the channel in the scan (0 for the first).
  std::function<TScanChoices(int position)> choices = [](int) { return TScanChoices{}; };
  // Runs on the scan's thread after each "channel %d set" line.
  std::function<void(const std::string& line)> afterLine = [](const std::string&) {};
  std::function<void(int32_t channel)> onShow = [](int32_t) {};

  std::vector<int32_t> shown;
  std::vector<int> progress;
  std::vector<Clock::time_point> shownAt, loggedAt;
  Clock::time_point endedAt;

  void Run(int32_t from, int32_t to, int32_t delayMs) {
    RunScan(Hooks(), TScanRange{from, to, delayMs});
    endedAt = Clock::now();
  }

  TScanHooks Hooks() {
    return TScanHooks{
        kit_.Pump(),
        [this](const std::string& line) {
          loggedAt.push_back(Clock::now());
          context_.Log(line);
          afterLine(line);
        },
        [this] { return context_.Stopping(); },
        [this] { return running(); },
        [this] { return choices(static_cast<int>(shown.size()) - 1); },
        [this](int32_t channel, int percent) {
          shownAt.push_back(Clock::now());
          shown.push_back(channel);
          progress.push_back(percent);
          onShow(channel);
        },
        [this](const std::function<void(TOperationContext&)>& fn) {
          if (withEngine)
            fn(context_);
          else
            context_.Log("Port is not open");
        },
    };
  }

  // Every pause after a channel's log line, up to the next channel or the end.
  std::vector<milliseconds> Pauses() const {
    std::vector<milliseconds> pauses;
    for (size_t i = 0; i < loggedAt.size(); ++i) {
      const auto next = i + 1 < shownAt.size() ? shownAt[i + 1] : endedAt;
      pauses.push_back(std::chrono::duration_cast<milliseconds>(next - loggedAt[i]));
    }
    return pauses;
  }

 private:
  OperationTestKit& kit_;
  TOperationContext context_;
};

TEST(ScanArithmetic, PauseProgressAndFixedSbepOptions) {
  EXPECT_EQ(ScanPauseMs(0), 100);
  EXPECT_EQ(ScanPauseMs(50), 100);
  EXPECT_EQ(ScanPauseMs(-5), 100);
  EXPECT_EQ(ScanPauseMs(101), 101);
  EXPECT_EQ(ScanProgress(100, 105, 104), 80);
  EXPECT_EQ(ScanProgress(0, 99999, 99998), 99);  // never 100
  EXPECT_EQ(ScanProgress(0, 3, 1), 33);          // truncated

  const TChannelSetting setting = ScanChannelSetting(7, TScanChoices{3, false, true, true});
  EXPECT_EQ(setting.Channel, 7);
  EXPECT_EQ(setting.StepIndex, 3);
  EXPECT_FALSE(setting.Rx);
  EXPECT_TRUE(setting.Is800);
  EXPECT_TRUE(setting.Sbep);
  EXPECT_EQ(BuildSbepTuneFrame(setting)[3], 0x11);
  EXPECT_EQ(setting.Frames, 0x0002);
}

TEST(ScanOperation, SetsFromUpToButNotToWithAPauseAfterEachExchange) {
  OperationTestKit kit;
  ScanRecorder scan(kit);
  scan.Run(100, 105, 500);

  EXPECT_EQ(ChannelNumbers(kit), (std::vector<uint16_t>{100, 101, 102, 103, 104}));
  for (const SentChannel& s : SentChannels(kit)) EXPECT_EQ(s.modeOrOption, 0x01);  // RX, 5.0 KHz
  EXPECT_EQ(ScanLines(kit),
            (std::vector<std::string>{"channel 100 set", "channel 101 set", "channel 102 set",
                                      "channel 103 set", "channel 104 set"}));
  EXPECT_EQ(scan.shown, (std::vector<int32_t>{100, 101, 102, 103, 104}));
  EXPECT_EQ(scan.progress, (std::vector<int>{0, 20, 40, 60, 80}));
  ASSERT_EQ(scan.Pauses().size(), 5u);
  for (milliseconds pause : scan.Pauses()) EXPECT_GE(pause.count(), 500);
}

TEST(ScanOperation, AnEmptyRangeSendsAndLogsNothing) {
  OperationTestKit kit;
  ScanRecorder scan(kit);
  scan.Run(100, 100, 500);
  scan.Run(101, 100, 500);
  EXPECT_TRUE(scan.shown.empty());
  EXPECT_TRUE(ScanLines(kit).empty());
  EXPECT_TRUE(SentChannels(kit).empty());
}

TEST(ScanOperation, DelaysBelowOneHundredMillisecondsPauseOneHundred) {
  for (int32_t delay : {0, 50}) {
    SCOPED_TRACE(delay);
    OperationTestKit kit;
    ScanRecorder scan(kit);
    scan.Run(1, 3, delay);
    EXPECT_EQ(ChannelNumbers(kit), (std::vector<uint16_t>{1, 2}));
    for (milliseconds pause : scan.Pauses()) EXPECT_GE(pause.count(), 100);
  }
}

TEST(ScanOperation, AChannelAbove65535GoesOutAsItsLowSixteenBitsAndIsLoggedWhole) {
  OperationTestKit kit;
  ScanRecorder scan(kit);
  scan.Run(70000, 70001, 0);
  EXPECT_EQ(ChannelNumbers(kit), (std::vector<uint16_t>{4464}));
  EXPECT_EQ(ScanLines(kit), (std::vector<std::string>{"channel 70000 set"}));
  EXPECT_EQ(scan.shown, (std::vector<int32_t>{70000}));
}

TEST(ScanOperation, SbepChannelsEachGetAStayWithDeviceOneOptionElevenAndFramesTwo) {
  OperationTestKit kit;
  ScanRecorder scan(kit);
  scan.choices = [](int) { return TScanChoices{1, true, false, true}; };
  scan.Run(200, 202, 0);

  EXPECT_EQ(SentChannels(kit),
            (std::vector<SentChannel>{{true, 200, 0x11, 0x0002}, {true, 201, 0x11, 0x0002}}));
  const auto entries = kit.Radio([](sim::SimRadio& radio) {
    const auto request = TSb9600::ExpandedProtocolPkt;  // device 1
    int count = 0;
    for (const sim::ReceivedFrame& f : radio.FramesReceived())
      count += f.bytes == std::vector<uint8_t>(request.begin(), request.end());
    return count;
  });
  EXPECT_EQ(entries, 2);
  const auto lines = kit.Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "leaving SBEP mode"), 2);
  EXPECT_FALSE(kit.Engine().SbepMode);
}

TEST(ScanOperation, TheChoicesAreReadAfreshForEveryChannel) {
  OperationTestKit kit;
  ScanRecorder scan(kit);
  scan.choices = [](int position) {
    if (position == 0) return TScanChoices{0, true, false, false};
    if (position == 1) return TScanChoices{3, false, true, false};  // TX, 20 KHz, 800 MHz
    return TScanChoices{0, true, false, true};
  };
  scan.Run(10, 13, 0);
  EXPECT_EQ(SentChannels(kit),
            (std::vector<SentChannel>{
                {false, 10, 0x01, 0}, {false, 11, 0x18, 0}, {true, 12, 0x11, 0x0002}}));
}

TEST(ScanOperation, AStopByTheOperatorLetsThePauseRunOutAndSendsNoMore) {
  OperationTestKit kit;
  ScanRecorder scan(kit);
  bool running = true;
  scan.running = [&] { return running; };
  scan.afterLine = [&](const std::string& line) { running = line != "channel 101 set"; };
  scan.Run(100, 105, 300);
  EXPECT_EQ(ChannelNumbers(kit), (std::vector<uint16_t>{100, 101}));
  ASSERT_EQ(scan.Pauses().size(), 2u);
  EXPECT_GE(scan.Pauses()[1].count(), 300);
}

TEST(ScanOperation, ClosingEndsThePauseAtOnceAndSendsNoMore) {
  OperationTestKit kit;
  ScanRecorder scan(kit);
  std::optional<Clock::time_point> closedAt;
  scan.afterLine = [&](const std::string& line) {
    if (line != "channel 100 set") return;
    // Arrives as an event inside the pause, as the window's close does.
    kit.Pump().Post([&] {
      closedAt = Clock::now();
      kit.RequestStop();
    });
  };
  scan.Run(100, 105, 60000);
  EXPECT_EQ(ChannelNumbers(kit), (std::vector<uint16_t>{100}));
  ASSERT_TRUE(closedAt);
  // Far below the 60 s pause that a close would otherwise wait out.
  EXPECT_LT(scan.endedAt - *closedAt, std::chrono::seconds(30));
}

TEST(ScanOperation, ClosingDuringAnExchangeLetsItFinishAndEndsBeforeTheNextChannel) {
  OperationTestKit kit;
  ScanRecorder scan(kit);
  scan.choices = [](int) { return TScanChoices{0, true, false, true}; };  // a long SBEP stay
  scan.onShow = [&](int32_t channel) {
    if (channel == 100) kit.RequestStop();
  };
  scan.Run(100, 105, 60000);
  EXPECT_EQ(ChannelNumbers(kit), (std::vector<uint16_t>{100}));
  EXPECT_EQ(ScanLines(kit), (std::vector<std::string>{"channel 100 set"}));
  EXPECT_FALSE(kit.Engine().SbepMode);  // the stay ended as usual
  EXPECT_LT(scan.endedAt - scan.loggedAt.back(), std::chrono::seconds(30));

  // A scan asked to start while the program closes sends nothing.
  ScanRecorder late(kit);
  late.Run(300, 305, 0);
  EXPECT_TRUE(late.shown.empty());
}

TEST(ScanOperation, WithoutAnEngineEveryChannelSaysSoAndTheScanRunsItsCourse) {
  OperationTestKit kit;
  ScanRecorder scan(kit);
  scan.withEngine = false;
  scan.Run(1, 4, 0);
  EXPECT_EQ(ScanLines(kit),
            (std::vector<std::string>{"Port is not open", "channel 1 set", "Port is not open",
                                      "channel 2 set", "Port is not open", "channel 3 set"}));
  EXPECT_TRUE(SentChannels(kit).empty());
  for (milliseconds pause : scan.Pauses()) EXPECT_GE(pause.count(), 100);
}

}  // namespace
}  // namespace kestrune::test
