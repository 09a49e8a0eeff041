// What the engine relies on of every event pump, as one typed suite that each
// pump's tests instantiate: timers end a wait and disable themselves, enabling
// a running timer keeps its time, and a wake-up from another thread ends a
// wait, also when it arrives before the pump goes to sleep.
//
// A pump that needs something of the process first (Qt's needs an
// application object) specialises EventPumpContractSetUp before it
// instantiates the suite.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace kestrune {

template <typename Pump>
struct EventPumpContractSetUp {
  static void Once() {}
};

template <typename Pump>
class EventPumpContract : public ::testing::Test {
 protected:
  using Clock = std::chrono::steady_clock;
  static void SetUpTestSuite() { EventPumpContractSetUp<Pump>::Once(); }
};

TYPED_TEST_SUITE_P(EventPumpContract);

TYPED_TEST_P(EventPumpContract, TimerExpiryEndsAWaitAndDisablesTheTimer) {
  using std::chrono::milliseconds;
  TypeParam pump;
  auto timer = pump.CreateTimer(milliseconds(50));
  EXPECT_FALSE(timer->Enabled());
  const auto start = TestFixture::Clock::now();
  timer->Enable();
  while (timer->Enabled()) pump.WaitForEvents();
  EXPECT_GE(TestFixture::Clock::now() - start, milliseconds(50));
}

TYPED_TEST_P(EventPumpContract, EnablingARunningTimerKeepsItsTime) {
  using std::chrono::milliseconds;
  TypeParam pump;
  auto timer = pump.CreateTimer(milliseconds(1000));
  auto shorter = pump.CreateTimer(milliseconds(600));
  const auto start = TestFixture::Clock::now();
  timer->Enable();
  shorter->Enable();
  while (shorter->Enabled()) pump.WaitForEvents();
  timer->Enable();  // must not restart the 1000 ms (that would end at 1600)
  while (timer->Enabled()) pump.WaitForEvents();
  const auto elapsed = TestFixture::Clock::now() - start;
  EXPECT_GE(elapsed, milliseconds(1000));
  EXPECT_LT(elapsed, milliseconds(1500));
}

TYPED_TEST_P(EventPumpContract, WakeFromAnotherThreadEndsTheWait) {
  TypeParam pump;
  auto guard = pump.CreateTimer(std::chrono::milliseconds(10000));
  std::atomic<bool> flag{false};
  guard->Enable();
  std::thread other([&] {
    flag = true;
    pump.Wake();
  });
  while (!flag && guard->Enabled()) pump.WaitForEvents();
  other.join();
  EXPECT_TRUE(guard->Enabled());  // woken, not timed out
}

TYPED_TEST_P(EventPumpContract, AWakeBeforeTheWaitIsNotLost) {
  TypeParam pump;
  auto guard = pump.CreateTimer(std::chrono::milliseconds(10000));
  guard->Enable();
  pump.Wake();
  pump.WaitForEvents();
  EXPECT_TRUE(guard->Enabled());  // returned on the early wake-up
}

REGISTER_TYPED_TEST_SUITE_P(EventPumpContract, TimerExpiryEndsAWaitAndDisablesTheTimer,
                            EnablingARunningTimerKeepsItsTime, WakeFromAnotherThreadEndsTheWait,
                            AWakeBeforeTheWaitIsNotLost);

}  // namespace kestrune
