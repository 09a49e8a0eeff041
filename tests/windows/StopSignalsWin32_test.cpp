// Ctrl+C and Ctrl+Break on Windows: each reaches the stop request as SIGINT
// and SIGTERM do on POSIX, so the closing and the exit codes are the same,
// and the messages name them as the keys. The system delivers a console
// event by starting a thread at kernel32's CtrlRoutine; the test does the
// same, since a console event cannot be raised where no console is shown.
#include <windows.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <csignal>
#include <mutex>
#include <vector>

#include "cli/StopSignals.h"
#include "tests/support/Wait.h"

namespace kestrune::cli {
namespace {

class StopSignalsWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    routine_ = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CtrlRoutine")));
    ASSERT_NE(routine_, nullptr) << "kernel32 has no CtrlRoutine";
  }

  // Delivers the event as the system does and waits for that thread to end.
  void Deliver(DWORD event) const {
    const HANDLE thread = CreateThread(
        nullptr, 0, routine_, reinterpret_cast<void*>(static_cast<ULONG_PTR>(event)), 0, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }

  void Record(int sig) {
    std::lock_guard guard(lock_);
    seen_.push_back(sig);
    changed_.notify_all();
  }

  bool WaitForCount(size_t count) {
    return test::WaitUntil(lock_, changed_, [&] { return seen_.size() >= count; });
  }

  LPTHREAD_START_ROUTINE routine_ = nullptr;
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<int> seen_;
};

TEST_F(StopSignalsWin32, CtrlCIsSigintCtrlBreakSigtermAndTheFirstIsKept) {
  TStopSignals signals([this](int sig) { Record(sig); });
  EXPECT_FALSE(signals.Requested());
  Deliver(CTRL_C_EVENT);
  ASSERT_TRUE(WaitForCount(1));
  EXPECT_TRUE(signals.Requested());
  EXPECT_EQ(signals.Signal(), SIGINT);

  Deliver(CTRL_BREAK_EVENT);
  ASSERT_TRUE(WaitForCount(2));
  EXPECT_EQ(signals.Signal(), SIGINT);  // the first one decides the exit code
  std::lock_guard guard(lock_);
  EXPECT_EQ(seen_, (std::vector<int>{SIGINT, SIGTERM}));
}

TEST_F(StopSignalsWin32, CtrlBreakAloneIsSigtermAndEventsAfterTheEndAreTurnedAway) {
  {
    TStopSignals signals([this](int sig) { Record(sig); });
    Deliver(CTRL_BREAK_EVENT);
    ASSERT_TRUE(WaitForCount(1));
    EXPECT_EQ(signals.Signal(), SIGTERM);
  }
  // The handler stays and takes the event without ending the program.
  Deliver(CTRL_C_EVENT);
  std::lock_guard guard(lock_);
  EXPECT_EQ(seen_, (std::vector<int>{SIGTERM}));
}

TEST(StopEventName, TheMessagesNameTheKeys) {
  EXPECT_EQ(StopEventName(SIGINT), "Ctrl+C");
  EXPECT_EQ(StopEventName(SIGTERM), "Ctrl+Break");
}

}  // namespace
}  // namespace kestrune::cli
