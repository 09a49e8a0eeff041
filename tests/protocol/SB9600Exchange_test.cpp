// Whole exchanges over a pseudo-terminal: the engine on the slave side with a
// real port and its event thread, a scripted radio on the master side.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>

#include "protocol/PlainEventPump.h"
#include "protocol/SB9600.h"
#include "tests/support/EngineTestPeer.h"
#include "tests/support/FarSide.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/SerialSeams.h"
#include "tests/support/WatchedPump.h"

namespace kestrune {
namespace {

using namespace test;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The engine's two waits, told apart by their timers' intervals.
constexpr milliseconds kBusyWait = TSb9600::kCtsWaitInterval;
constexpr milliseconds kResponseWait = TSb9600::kRespWaitInterval;

const Bytes kEntryRequest{0x00, 0x12, 0x01, 0x06, 0x02};
const Bytes kReadRequest = WithSbepChecksum({0xF5, 0x11, 0x01, 0x00, 0x20, 0x00});
const Bytes kReadReply = WithSbepChecksum({0xF4, 0x80, 0xAA, 0xBB, 0xCC});

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

class Exchange : public ::testing::Test {
 protected:
  void SetUp() override {
    LogRecorder::Reset();
    engine.SetLog(LogRecorder::Line, LogRecorder::DumpProc, true, true);
  }
  // The radio's conditions look at the engine and the lines.
  void TearDown() override { radio.Stop(); }

  void Open(int32_t baud = 9600) {
    engine.CreatePort(radio.SlavePath(), baud, 8, 0, 0, true, true);
    ASSERT_NE(engine.ComPort(), nullptr);
    ASSERT_TRUE(engine.ComPort()->IsOpen()) << engine.ComPort()->LastError();
  }

  // The lines logged after the port was opened.
  std::vector<std::string> EngineLines() {
    std::vector<std::string> lines = LogRecorder::Lines();
    const std::string opened = "Port " + radio.SlavePath() + " is open";
    if (!lines.empty() && lines.front() == opened) lines.erase(lines.begin());
    return lines;
  }

  // Serves the pump until pred holds; the engine wakes it on every change
  // of its stage flags and of CtsState.
  bool PumpUntil(const std::function<bool()>& pred) {
    auto timer = plain.CreateTimer(kPatience);
    timer->Enable();
    while (!pred() && timer->Enabled()) plain.WaitForEvents();
    return pred();
  }

  bool BusLineBusy() {
    return PumpUntil([this] { return engine.CtsState.load(); });
  }

  // The radio switches to SBEP once DTR rises again after the entry pulse.
  std::function<bool()> AfterEntryPulse() {
    return [this] { return engine.SbepMode && lines->Dtr(); };
  }

  void AnswerEntry(uint8_t ack, Bytes request = kEntryRequest) {
    Bytes echo = request;
    radio.On(std::move(request), {{std::move(echo), {}}, {{ack}, AfterEntryPulse()}});
  }

  void EnterSbep() {
    AnswerEntry(0x50);
    ASSERT_TRUE(engine.EnterSbepMode(1));
    LogRecorder::Reset();
  }

  PlainEventPump plain;
  // The engine waits here; its counts tell a wait that ended because what it
  // waited for came from one that timed out.
  WatchedPump pump{plain};
  FarSide radio;
  std::shared_ptr<ObservedLines> lines = std::make_shared<ObservedLines>();
  TSb9600 engine{pump, [this] { return std::make_unique<TComPort>(lines); }};
  TSb9600TestPeer peer{engine};
};

// ---------------------------------------------------------------- SB9600 mode

TEST_F(Exchange, CompletesOnTheEchoWellBeforeTheTimeout) {
  Open();
  // The echo comes once DTR has dropped after the frame, when the engine is
  // about to wait or waiting already: the echo must wake it.
  radio.On(kEntryRequest,
           {{kEntryRequest, [this] { return lines->dtrRaised == 1 && !lines->Dtr(); }}});
  const auto start = Clock::now();
  EXPECT_TRUE(engine.SendRepeatAndWait(kEntryRequest));
  EXPECT_GE(MsSince(start), 96);  // the post-send delay of a 5-byte frame
  EXPECT_EQ(pump.Starts(kResponseWait), 1);
  EXPECT_EQ(pump.Expiries(kResponseWait), 0);  // woken by the echo, not by the timer
  EXPECT_EQ(radio.Count(kEntryRequest), 1);
  EXPECT_EQ(LogRecorder::DumpCount("TX"), 1);
  ASSERT_TRUE(LogRecorder::WaitFor([] { return LogRecorder::DumpCount("RX") == 1; }));
  EXPECT_EQ(LogRecorder::Dumps("RX")[0].bytes, kEntryRequest);
  EXPECT_FALSE(lines->Dtr());  // dropped after the frame
  EXPECT_EQ(lines->dtrRaised, 1);
  EXPECT_TRUE(engine.RecvPkt().empty());
}

TEST_F(Exchange, EchoSplitOverTwoReads) {
  Open();
  radio.On(kEntryRequest, {{{0x00, 0x12, 0x01}, {}},
                           {{0x06, 0x02}, [] { return LogRecorder::DumpCount("RX") >= 1; }}});
  EXPECT_TRUE(engine.SendRepeatAndWait(kEntryRequest));
  ASSERT_TRUE(LogRecorder::WaitFor([] { return LogRecorder::DumpCount("RX") == 2; }));
  EXPECT_EQ(LogRecorder::Dumps("RX")[0].bytes, (Bytes{0x00, 0x12, 0x01}));
  EXPECT_EQ(peer.Count(), 0);
}

TEST_F(Exchange, GarbageBeforeTheEchoAndARadioFrameAfterIt) {
  Open();
  const Bytes channel = Sb9600Frame(0x00, 0x00, 0x07, 0x3F);
  radio.On(kEntryRequest, {{Join({{0x7E}, kEntryRequest, channel}), {}}});
  EXPECT_TRUE(engine.SendRepeatAndWait(kEntryRequest));
  ASSERT_TRUE(LogRecorder::WaitFor([] { return LogRecorder::DumpCount("RX") >= 1; }));
  const auto rx = LogRecorder::Dumps("RX");
  EXPECT_EQ(rx.back().sig, "CHANNEL NUMBER");
}

TEST_F(Exchange, ARadioThatNeverAnswersCostsThreeFullAttempts) {
  Open();
  // Half an echo arrives after every attempt and stays buffered.
  radio.On(kEntryRequest, {{{0x00, 0x12}, {}}}, 3);
  const auto start = Clock::now();
  EXPECT_FALSE(engine.SendRepeatAndWait(kEntryRequest));
  EXPECT_GE(MsSince(start), 3 * (3000 + 96));
  EXPECT_EQ(pump.Expiries(kResponseWait), 3);  // each attempt waited its full time
  EXPECT_EQ(LogRecorder::DumpCount("TX"), 3);
  EXPECT_EQ(radio.Count(kEntryRequest), 3);
  EXPECT_EQ(peer.Count(), 0);
  EXPECT_TRUE(EngineLines().empty());  // a timeout is not logged
}

// A close or a quit signal during an exchange with a silent radio: the
// attempt in flight runs out, no further one starts, and an exchange begun
// afterwards (the closing ones) still gets its one attempt.
TEST_F(Exchange, OnceClosingHasBegunNoFurtherAttemptStarts) {
  Open();
  radio.On(kEntryRequest,
           {{{0x00, 0x12},
             [this] {
               engine.BeginClosing();
               return true;
             }}},
           2);
  EXPECT_FALSE(engine.SendRepeatAndWait(kEntryRequest));
  EXPECT_TRUE(engine.ClosingBegun());
  EXPECT_EQ(pump.Expiries(kResponseWait), 1);
  EXPECT_EQ(radio.Count(kEntryRequest), 1);

  EXPECT_FALSE(engine.SendRepeatAndWait(kEntryRequest));
  EXPECT_EQ(pump.Expiries(kResponseWait), 2);
  EXPECT_EQ(LogRecorder::DumpCount("TX"), 2);
  EXPECT_EQ(radio.Count(kEntryRequest), 2);
}

// The receive buffer never holds more than 4095 bytes, so a longer echo could
// never be recognised: three attempts of minutes each, certain to fail.
TEST_F(Exchange, APacketTooLongForItsEchoIsRefusedBeforeSending) {
  Open();
  const Bytes longest(TSb9600::kMaxPacketLen + 1, 0x33);
  EXPECT_FALSE(engine.SendRepeatAndWait(longest));
  EXPECT_EQ(LogRecorder::DumpCount("TX"), 0);
  EXPECT_EQ(pump.Starts(kResponseWait), 0);
  EXPECT_EQ(EngineLines(),
            std::vector<std::string>{"a packet of 4096 bytes cannot be sent: the longest is 4095"});
}

TEST_F(Exchange, AnEmptyExchangeWritesNothingAndFailsAtOnce) {
  Open();
  EXPECT_FALSE(engine.SendRepeatAndWait(Bytes{}));
  EXPECT_FALSE(engine.SendRepeatAndWait(nullptr, 5));
  EXPECT_EQ(pump.Starts(kBusyWait) + pump.Starts(kResponseWait), 0);  // nothing waited for
  EXPECT_EQ(lines->written, 0u);
  EXPECT_EQ(LogRecorder::DumpCount("TX"), 0);
}

TEST_F(Exchange, BusyLineThatStaysActiveEndsTheExchangeUnsent) {
  lines->SetCts(true);
  Open();
  // The port reports the CTS level through the engine's hook.
  ASSERT_TRUE(BusLineBusy());

  radio.Echo(kEntryRequest);
  const auto start = Clock::now();
  EXPECT_FALSE(engine.SendRepeatAndWait(kEntryRequest));
  EXPECT_GE(MsSince(start), 1000);
  EXPECT_EQ(pump.Expiries(kBusyWait), 1);
  EXPECT_EQ(pump.Starts(kResponseWait), 0);  // unsent: no response is awaited
  EXPECT_EQ(LogRecorder::DumpCount("TX"), 1);
  EXPECT_EQ(EngineLines(), std::vector<std::string>{"waiting for low Busy state expired"});
  EXPECT_EQ(lines->written, 0u);
  EXPECT_EQ(lines->dtrRaised, 0);
}

TEST_F(Exchange, BusyLineReleasedDuringTheWaitLetsTheFrameGo) {
  lines->SetCts(true);
  Open();
  ASSERT_TRUE(BusLineBusy());
  radio.Echo(kEntryRequest);
  plain.Post([this] { lines->SetCts(false); });  // runs inside the busy wait
  EXPECT_TRUE(engine.SendRepeatAndWait(kEntryRequest));
  EXPECT_TRUE(EngineLines().empty());
}

// The port's system with the device refusing every write.
class RefusingWrites : public ObservedLines {
 public:
  int Open(const char* path, int flags) override {
    device = ObservedLines::Open(path, flags);
    return device;
  }
  ssize_t Write(int fd, const void* buf, size_t n) override {
    if (fd != device) return ObservedLines::Write(fd, buf, n);
    errno = EIO;
    return -1;
  }
  std::atomic<int> device{-1};
};

TEST_F(Exchange, ARefusedWriteDropsDtrAndIsNotRetried) {
  auto refusing = std::make_shared<RefusingWrites>();
  TSb9600 writer(pump, [&] { return std::make_unique<TComPort>(refusing); });
  writer.SetLog(LogRecorder::Line, LogRecorder::DumpProc, true, false);
  writer.CreatePort(radio.SlavePath(), 9600, 8, 0, 0, true, false);
  ASSERT_TRUE(writer.ComPort()->IsOpen());
  radio.Echo(kEntryRequest);
  LogRecorder::Reset();

  EXPECT_FALSE(writer.SendRepeatAndWait(kEntryRequest));
  EXPECT_EQ(pump.Starts(kResponseWait), 0);  // no response wait, so no second attempt
  EXPECT_EQ(LogRecorder::Lines(),
            std::vector<std::string>{"PORT_ERROR_WRITE 5 : \"Input/output error\""});
  EXPECT_EQ(LogRecorder::DumpCount("TX"), 1);
  EXPECT_EQ(refusing->dtrRaised, 1);
  EXPECT_FALSE(refusing->Dtr());
  EXPECT_TRUE(radio.Received().empty());
}

// ---------------------------------------------------------------- SBEP mode

TEST_F(Exchange, EnterSbepModeSucceedsOnAcknowledge50) {
  Open();
  AnswerEntry(0x50);
  EXPECT_TRUE(engine.EnterSbepMode(1));
  EXPECT_EQ(EngineLines(), std::vector<std::string>{"SBEP mode: success"});
  EXPECT_TRUE(engine.SbepMode);
  EXPECT_TRUE(lines->Dtr());
  EXPECT_EQ(engine.SbepResp(), 0x50);
  EXPECT_TRUE(engine.IsExchangeDone());
  EXPECT_TRUE(engine.wfStage.waiting.ack && engine.wfStage.done.ack);
  EXPECT_FALSE(engine.wfStage.waiting.echo || engine.wfStage.waiting.data);

  // Already in SBEP mode: nothing is sent or logged.
  LogRecorder::Reset();
  EXPECT_TRUE(engine.EnterSbepMode(1));
  EXPECT_TRUE(LogRecorder::Lines().empty());
  EXPECT_EQ(LogRecorder::DumpCount("TX"), 0);
}

TEST_F(Exchange, EnterSbepModeFailsOnAcknowledge60) {
  Open();
  AnswerEntry(0x60);
  EXPECT_FALSE(engine.EnterSbepMode(1));
  EXPECT_EQ(EngineLines(), (std::vector<std::string>{"SBEP mode: error", "leaving SBEP mode"}));
  EXPECT_FALSE(engine.SbepMode);
  EXPECT_FALSE(lines->Dtr());
}

TEST_F(Exchange, EnterSbepModeFailsWithoutAcknowledge) {
  Open();
  radio.Echo(kEntryRequest);
  const auto start = Clock::now();
  EXPECT_FALSE(engine.EnterSbepMode(1));
  EXPECT_GE(MsSince(start), 3000);
  EXPECT_EQ(EngineLines(), (std::vector<std::string>{"SBEP mode: error", "leaving SBEP mode"}));
  EXPECT_EQ(radio.Count(kEntryRequest), 1);  // the request is not repeated
  EXPECT_FALSE(engine.SbepMode);
  EXPECT_FALSE(lines->Dtr());
}

TEST_F(Exchange, EnterSbepModeFailsWhenTheRequestIsNeverEchoed) {
  Open();
  EXPECT_FALSE(engine.EnterSbepMode(1));
  EXPECT_EQ(EngineLines(), std::vector<std::string>{"unable to enter SBEP mode!"});
  EXPECT_EQ(radio.Count(kEntryRequest), 3);
  EXPECT_FALSE(engine.SbepMode);
  EXPECT_FALSE(lines->Dtr());
}

TEST_F(Exchange, EnterSbepModeOnABusyLineLogsBothLines) {
  lines->SetCts(true);
  Open();
  ASSERT_TRUE(BusLineBusy());
  EXPECT_FALSE(engine.EnterSbepMode(1));
  EXPECT_EQ(EngineLines(), (std::vector<std::string>{"waiting for low Busy state expired",
                                                     "unable to enter SBEP mode!"}));
}

TEST_F(Exchange, DeviceAddressKeepsItsLowFiveBits) {
  Open();
  const Bytes device5{0x00, 0x12, 0x05, 0x06, 0x39};
  AnswerEntry(0x50, device5);
  EXPECT_TRUE(engine.EnterSbepMode(0x25));
  EXPECT_EQ(radio.Received(), device5);
}

TEST_F(Exchange, LeaveSbepModeInSb9600Mode) {
  Open();
  engine.LeaveSbepMode();
  EXPECT_EQ(EngineLines(), std::vector<std::string>{"leaving SBEP mode"});
  EXPECT_FALSE(engine.SbepMode);
  EXPECT_FALSE(lines->Dtr());
  EXPECT_EQ(lines->written, 0u);
}

TEST_F(Exchange, SbepRequestWithEchoAcknowledgeAndReply) {
  Open();
  EnterSbep();
  radio.On(kReadRequest, {{Join({kReadRequest, {0x50}, kReadReply}), {}}});
  EXPECT_TRUE(engine.SendRepeatAndWait(kReadRequest));
  EXPECT_EQ(engine.RecvPkt(), kReadReply);
  EXPECT_EQ(engine.SbepResp(), 0x50);
  EXPECT_TRUE(lines->Dtr());  // SBEP mode keeps DTR raised
  EXPECT_EQ(LogRecorder::DumpCount("TX"), 1);

  engine.LeaveSbepMode();
  EXPECT_FALSE(lines->Dtr());
}

TEST_F(Exchange, SbepReplyWithABadChecksumIsAskedForAgain) {
  Open();
  EnterSbep();
  Bytes bad = kReadReply;
  bad.back() ^= 0x01;
  radio.On(kReadRequest, {{Join({kReadRequest, {0x50}, bad}), {}}});
  radio.On(kReadRequest, {{Join({kReadRequest, {0x50}, kReadReply}), {}}});
  EXPECT_TRUE(engine.SendRepeatAndWait(kReadRequest));
  EXPECT_EQ(radio.Count(kReadRequest), 2);
  EXPECT_EQ(LogRecorder::DumpCount("TX"), 2);
  EXPECT_EQ(engine.RecvPkt(), kReadReply);
}

TEST_F(Exchange, SbepAcknowledge60CompletesTheExchange) {
  Open();
  EnterSbep();
  const Bytes request = WithSbepChecksum({0xF3, 0x1A, 0x01, 0x02});
  radio.On(request, {{Join({request, {0x60}}), {}}});
  EXPECT_TRUE(engine.SendRepeatAndWait(request));
  EXPECT_EQ(engine.SbepResp(), 0x60);
  EXPECT_TRUE(engine.RecvPkt().empty());
}

TEST_F(Exchange, SbepModeIgnoresTheBusyLine) {
  Open();
  EnterSbep();
  lines->SetCts(true);
  ASSERT_TRUE(BusLineBusy());
  const Bytes request = WithSbepChecksum({0xF3, 0x1A, 0x01, 0x02});
  radio.On(request, {{Join({request, {0x50}}), {}}});
  EXPECT_TRUE(engine.SendRepeatAndWait(request));
}

// ---------------------------------------------------------------- the port

TEST_F(Exchange, BaudRateZeroOrBelowLeavesThePortClosed) {
  for (int32_t baud : {0, -9600}) {
    LogRecorder::Reset();
    engine.CreatePort(radio.SlavePath(), baud, 8, 0, 0, true, true);
    ASSERT_NE(engine.ComPort(), nullptr);
    EXPECT_FALSE(engine.ComPort()->IsOpen());
    EXPECT_EQ(LogRecorder::Lines(),
              std::vector<std::string>{"Port " + radio.SlavePath() + " not opened: baud rate " +
                                       std::to_string(baud) + " is not valid"});
    EXPECT_FALSE(engine.SendRepeatAndWait(kEntryRequest));
    engine.FreeComPort();
  }
  EXPECT_EQ(lines->written, 0u);
}

TEST_F(Exchange, PortThatDoesNotOpenLogsItsErrorTwice) {
  engine.CreatePort("/dev/kestrune-no-such-device", 9600, 8, 0, 0, false, false);
  ASSERT_NE(engine.ComPort(), nullptr);
  EXPECT_FALSE(engine.ComPort()->IsOpen());
  const auto logged = LogRecorder::Lines();
  ASSERT_EQ(logged.size(), 2u);
  EXPECT_EQ(logged[1], engine.ComPort()->LastError());
  EXPECT_EQ(logged[0].rfind(logged[1] + " ", 0), 0u);
}

TEST_F(Exchange, PortCanBeFreedAndOpenedAgain) {
  Open();
  engine.FreeComPort();
  EXPECT_EQ(engine.ComPort(), nullptr);
  EXPECT_FALSE(engine.SendRepeatAndWait(kEntryRequest));
  LogRecorder::Reset();
  Open(4800);
  radio.Echo(kEntryRequest);
  EXPECT_TRUE(engine.SendRepeatAndWait(kEntryRequest));
}

TEST_F(Exchange, EventsAreDispatchedWhileAnExchangeWaits) {
  Open();
  radio.On(kEntryRequest, {{kEntryRequest, [] { return LogRecorder::Lines().size() >= 2; }}});
  // A handler that runs nested inside the wait; the radio answers after it.
  plain.Post([] { LogRecorder::Line("handler ran"); });
  EXPECT_TRUE(engine.SendRepeatAndWait(kEntryRequest));
  EXPECT_EQ(EngineLines(), std::vector<std::string>{"handler ran"});
}

TEST(EngineLifetime, DestroyLogsPortClosedEvenWithoutAPort) {
  LogRecorder::Reset();
  {
    PlainEventPump pump;
    TSb9600 engine(pump);
    engine.SetLog(LogRecorder::Line, LogRecorder::DumpProc, false, false);
  }
  EXPECT_EQ(LogRecorder::Lines(), std::vector<std::string>{"Port closed"});
}

TEST(EngineLifetime, EmptyCallbacksSilenceTheEngine) {
  LogRecorder::Reset();
  PlainEventPump pump;
  TSb9600 engine(pump);
  engine.SetLog(nullptr, nullptr, true, true);
  engine.AddToLog("x");
  const uint8_t b = 0;
  engine.AddDump(&b, 1, "TX", "");
  engine.LeaveSbepMode();
  EXPECT_TRUE(LogRecorder::Lines().empty());
}

}  // namespace
}  // namespace kestrune
