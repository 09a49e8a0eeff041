#include "protocol/PlainEventPump.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace kestrune {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

TEST(PlainEventPump, TimerExpiryEndsASleepAndDisablesTheTimer) {
  PlainEventPump pump;
  auto timer = pump.CreateTimer(milliseconds(50));
  EXPECT_FALSE(timer->Enabled());
  const auto start = Clock::now();
  timer->Enable();
  while (timer->Enabled()) pump.WaitForEvents();
  EXPECT_GE(Clock::now() - start, milliseconds(50));
}

TEST(PlainEventPump, EnablingARunningTimerKeepsItsTime) {
  PlainEventPump pump;
  auto timer = pump.CreateTimer(milliseconds(1000));
  auto shorter = pump.CreateTimer(milliseconds(600));
  const auto start = Clock::now();
  timer->Enable();
  shorter->Enable();
  while (shorter->Enabled()) pump.WaitForEvents();
  timer->Enable();  // must not restart the 1000 ms (that would end at 1600)
  while (timer->Enabled()) pump.WaitForEvents();
  EXPECT_LT(Clock::now() - start, milliseconds(1500));
}

TEST(PlainEventPump, WakeFromAnotherThreadEndsTheSleep) {
  PlainEventPump pump;
  auto timer = pump.CreateTimer(milliseconds(10000));
  std::atomic<bool> flag{false};
  timer->Enable();
  std::thread other([&] {
    flag = true;
    pump.Wake();
  });
  while (!flag && timer->Enabled()) pump.WaitForEvents();
  other.join();
  EXPECT_TRUE(timer->Enabled());  // woken, not timed out
}

TEST(PlainEventPump, AWakeBeforeTheSleepIsNotLost) {
  PlainEventPump pump;
  auto timer = pump.CreateTimer(milliseconds(10000));
  timer->Enable();
  pump.Wake();
  pump.WaitForEvents();
  EXPECT_TRUE(timer->Enabled());
}

TEST(PlainEventPump, PostedFunctionsRunInOrderOnTheWaitingThread) {
  PlainEventPump pump;
  std::vector<int> order;
  const auto self = std::this_thread::get_id();
  std::thread other([&] {
    for (int i = 0; i < 3; ++i)
      pump.Post([&, i] {
        EXPECT_EQ(std::this_thread::get_id(), self);
        order.push_back(i);
      });
  });
  other.join();
  while (order.size() < 3) pump.WaitForEvents();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
}

TEST(PlainEventPump, APostedFunctionMayWaitInThePumpItself) {
  PlainEventPump pump;
  auto inner = pump.CreateTimer(milliseconds(20));
  bool innerDone = false;
  pump.Post([&] {
    inner->Enable();
    while (inner->Enabled()) pump.WaitForEvents();
    innerDone = true;
  });
  pump.WaitForEvents();
  EXPECT_TRUE(innerDone);
}

}  // namespace
}  // namespace kestrune
