#include "protocol/PlainEventPump.h"

#include <gtest/gtest.h>

#include "tests/support/EventPumpContract.h"

#include <thread>

namespace kestrune {
namespace {

using std::chrono::milliseconds;

INSTANTIATE_TYPED_TEST_SUITE_P(Plain, EventPumpContract, PlainEventPump);

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
