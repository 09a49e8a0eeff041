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

#include "tests/support/Wait.h"

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

// Told by the order of two expiries, not by a clock: enabled again 100 ms
// in, a timer that kept its time runs out at 2000 ms, before a witness
// started then for 1950 ms; one that started afresh would run out at 2100 ms
// or later, after the witness. The timer still has more than a second and a
// half to run when it is enabled again, however late the pump wakes.
TYPED_TEST_P(EventPumpContract, EnablingARunningTimerKeepsItsTime) {
  using std::chrono::milliseconds;
  TypeParam pump;
  auto timer = pump.CreateTimer(milliseconds(2000));
  auto shorter = pump.CreateTimer(milliseconds(100));
  auto witness = pump.CreateTimer(milliseconds(1950));
  const auto start = TestFixture::Clock::now();
  timer->Enable();
  shorter->Enable();
  while (shorter->Enabled()) pump.WaitForEvents();
  ASSERT_TRUE(timer->Enabled());
  timer->Enable();
  witness->Enable();
  // A pump that woke late may dispatch both expiries at once; the timer's
  // comes first all the same.
  while (timer->Enabled() && witness->Enabled()) pump.WaitForEvents();
  EXPECT_FALSE(timer->Enabled());
  EXPECT_GE(TestFixture::Clock::now() - start, milliseconds(2000));
}

TYPED_TEST_P(EventPumpContract, WakeFromAnotherThreadEndsTheWait) {
  TypeParam pump;
  auto guard = pump.CreateTimer(test::kPatience);
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
  auto guard = pump.CreateTimer(test::kPatience);
  guard->Enable();
  pump.Wake();
  pump.WaitForEvents();
  EXPECT_TRUE(guard->Enabled());  // returned on the early wake-up
}

REGISTER_TYPED_TEST_SUITE_P(EventPumpContract, TimerExpiryEndsAWaitAndDisablesTheTimer,
                            EnablingARunningTimerKeepsItsTime, WakeFromAnotherThreadEndsTheWait,
                            AWakeBeforeTheWaitIsNotLost);

}  // namespace kestrune
