// The engine waiting in Qt's event loop: GUI events are served during an
// exchange, the port's event thread ends the wait at once, and the precise
// timers bound it.
#include "console/QtEventPump.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <thread>

#include "protocol/SB9600.h"
#include "tests/support/EngineTestPeer.h"
#include "tests/support/EventPumpContract.h"
#include "tests/support/FarSide.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/WatchedPump.h"
#include "tests/support/Window.h"

namespace kestrune {
namespace {

using namespace test;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

class QtPumpTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { EnsureApplication(); }
  void SetUp() override { LogRecorder::Reset(); }
};

TEST_F(QtPumpTest, TimerAndPostedEventAreDispatchedWhileAnExchangeWaits) {
  std::atomic<bool> timerFired{false};  // before the radio, whose condition reads them
  std::atomic<bool> eventPosted{false};
  QtEventPump qt;
  WatchedPump pump(qt);
  FarSide radio;
  TSb9600 engine(pump);
  engine.SetLog(LogRecorder::Line, LogRecorder::DumpProc, false, false);
  engine.CreatePort(radio.SlavePath(), 9600, 8, 0, 0, false, false);
  ASSERT_TRUE(engine.ComPort()->IsOpen());

  QTimer::singleShot(milliseconds(150), [&] {
    timerFired = true;
    LogRecorder::Notify();
  });
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [&] {
        eventPosted = true;
        LogRecorder::Notify();
      },
      Qt::QueuedConnection);
  // The radio answers only once both have been handled, which can only
  // happen inside the engine's wait.
  const Bytes frame{0x00, 0x12, 0x01, 0x06, 0x02};
  radio.On(frame, {{frame, [&] { return timerFired && eventPosted; }}});

  EXPECT_TRUE(engine.SendRepeatAndWait(frame));
  EXPECT_TRUE(timerFired);
  EXPECT_TRUE(eventPosted);
  EXPECT_EQ(pump.Expiries(TSb9600::kRespWaitInterval), 0);  // the echo woke the wait
}

TEST_F(QtPumpTest, ResponseWaitIsBoundedByAPreciseTimer) {
  QtEventPump qt;
  WatchedPump pump(qt);
  TSb9600 engine(pump);
  TSb9600TestPeer peer(engine);
  peer.Sent({0x00, 0x12, 0x01, 0x06, 0x02});
  const auto start = Clock::now();
  EXPECT_FALSE(peer.WaitResponse());
  // A coarse timer may fire up to 150 ms early; a precise one never does.
  EXPECT_GE(MsSince(start), 3000);
  EXPECT_EQ(pump.Expiries(TSb9600::kRespWaitInterval), 1);
}

}  // namespace

template <>
struct EventPumpContractSetUp<QtEventPump> {
  static void Once() { test::EnsureApplication(); }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Qt, EventPumpContract, QtEventPump);

}  // namespace kestrune
