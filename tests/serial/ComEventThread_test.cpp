// The port's event thread on pseudo-terminals: arrivals reach the hook, Close
// stops the thread at any moment, a vanished device and a throwing callback
// neither spin nor end the program.
#include <gtest/gtest.h>
#include <poll.h>

#include <cerrno>
#include <future>
#include <thread>

#include "serial/SimulatedModemLines.h"
#include "serial/UnitComPort.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/PtyPair.h"
#include "tests/support/SerialSeams.h"

namespace kestrune::test {
namespace {

// Everything the read hook has taken from the port, and how often it ran.
struct Received {
  std::mutex lock;
  std::condition_variable changed;
  std::vector<uint8_t> bytes;
  int calls = 0;

  void Take(TComPort& port) {
    std::vector<uint8_t> buffer(1200);
    int32_t count = 0;
    port.ReadData(buffer, count);
    {
      std::lock_guard<std::mutex> guard(lock);
      bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + count);
      ++calls;
    }
    changed.notify_all();
  }
  bool WaitForBytes(size_t count) {
    return WaitUntil(lock, changed, [&] { return bytes.size() >= count; });
  }
  bool WaitForCalls(int count) {
    return WaitUntil(lock, changed, [&] { return calls >= count; });
  }
  int Calls() {
    std::lock_guard<std::mutex> guard(lock);
    return calls;
  }
  size_t Size() {
    std::lock_guard<std::mutex> guard(lock);
    return bytes.size();
  }
};

// A one-shot gate a hook can wait at while the test does something.
struct Gate {
  std::promise<void> opened;
  std::shared_future<void> waiting = opened.get_future().share();
  void Open() { opened.set_value(); }
  void Pass() const { waiting.wait(); }
};

class ComEventThreadTest : public ::testing::Test {
 protected:
  void SetUp() override { LogRecorder::Reset(); }

  void OpenPort(TComPort& port, const std::string& path) {
    port.SetLogProc(&LogRecorder::Line);
    ASSERT_TRUE(port.Open(path, 9600, 8, 0, 0)) << port.LastError();
  }

  PtyPair pty;
  Received received;
};

TEST_F(ComEventThreadTest, BytesArrivingWhileTheHookRunsAreReportedByTheNextPass) {
  Gate firstCallMayEnd;
  std::promise<void> firstCallStarted;
  std::atomic<bool> first{true};
  TComPort port;
  port.SetOnDataReadEvent([&](TComPort& p) {
    received.Take(p);
    if (first.exchange(false)) {
      firstCallStarted.set_value();
      firstCallMayEnd.Pass();
    }
  });
  OpenPort(port, pty.SlavePath());

  const auto head = Pattern(10);
  const auto tail = Pattern(2500, 10);  // more than one 1200-byte read
  pty.Write(head);
  ASSERT_EQ(firstCallStarted.get_future().wait_for(kPatience), std::future_status::ready);
  pty.Write(tail);
  firstCallMayEnd.Open();

  ASSERT_TRUE(received.WaitForBytes(head.size() + tail.size()));
  std::lock_guard<std::mutex> guard(received.lock);
  EXPECT_EQ(received.bytes, Pattern(head.size() + tail.size()));
}

TEST_F(ComEventThreadTest, CloseWhileTheThreadSleepsReturnsPromptly) {
  TComPort port;
  port.SetOnDataReadEvent([&](TComPort& p) { received.Take(p); });
  OpenPort(port, pty.SlavePath());
  pty.Write({1, 2, 3});
  ASSERT_TRUE(received.WaitForBytes(3));  // the thread is back asleep in poll

  const auto start = std::chrono::steady_clock::now();
  port.Close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, kPatience);  // catches a hang only
  EXPECT_FALSE(port.IsOpen());
}

// "Close has begun" is seen through the seam: Close purges the device before
// it wakes the thread, and only then waits for the hook in progress.
TEST_F(ComEventThreadTest, CloseLetsTheHookInProgressFinishAndRaisesNoOther) {
  auto system = std::make_shared<InjectingSystem>();
  std::promise<void> closeBegan;
  std::atomic<bool> armed{false};
  system->onFlush = [&] {
    if (armed.exchange(false)) closeBegan.set_value();
  };
  Gate hookMayLog;
  std::promise<void> hookStarted;
  std::mutex orderLock;
  std::vector<std::string> order;
  auto note = [&](const std::string& what) {
    std::lock_guard<std::mutex> guard(orderLock);
    order.push_back(what);
  };

  TComPort port(system);
  port.SetOnDataReadEvent([&](TComPort& p) {
    received.Take(p);
    if (received.Calls() == 1) {
      hookStarted.set_value();
      hookMayLog.Pass();
      LogRecorder::Line("hook line");
      note("hook logged");
    }
  });
  OpenPort(port, pty.SlavePath());
  armed = true;

  pty.Write({1});
  ASSERT_EQ(hookStarted.get_future().wait_for(kPatience), std::future_status::ready);
  pty.Write({2, 3, 4});  // would raise the hook again
  auto closing = std::async(std::launch::async, [&] {
    port.Close();
    note("close returned");
  });
  ASSERT_EQ(closeBegan.get_future().wait_for(kPatience), std::future_status::ready);
  hookMayLog.Open();
  ASSERT_EQ(closing.wait_for(kPatience), std::future_status::ready);

  EXPECT_EQ(received.Calls(), 1);
  EXPECT_EQ(order, (std::vector<std::string>{"hook logged", "close returned"}));
  EXPECT_EQ(LogRecorder::Lines(), std::vector<std::string>{"hook line"});
}

TEST_F(ComEventThreadTest, HangUpIsLoggedOnceTheThreadSleepsAndThePortOpensAgain) {
  auto system = std::make_shared<InjectingSystem>();
  TComPort port(system);
  port.SetOnDataReadEvent([&](TComPort& p) { received.Take(p); });
  OpenPort(port, pty.SlavePath());
  // The hang-up hook comes after the line, once.
  std::atomic<int> hangUps{0};
  std::atomic<size_t> linesAtHangUp{0};
  port.SetOnHangUpEvent([&](TComPort&) {
    linesAtHangUp = LogRecorder::Lines().size();
    std::lock_guard<std::mutex> guard(received.lock);
    ++hangUps;
    received.changed.notify_all();
  });

  pty.CloseMaster();
  ASSERT_TRUE(LogRecorder::WaitForLineStartingWith("PORT_ERROR_HANGUP"));
  ASSERT_TRUE(WaitUntil(received.lock, received.changed, [&] { return hangUps > 0; }));
  EXPECT_EQ(linesAtHangUp, 1u);
  EXPECT_EQ(LogRecorder::Lines(),
            std::vector<std::string>{"PORT_ERROR_HANGUP 5 : \"Input/output error\""});
  EXPECT_EQ(port.LastError(), "PORT_ERROR_HANGUP");

  // Nothing to wait for: the thread should do nothing at all for a while.
  const int polls = system->polls;
  std::this_thread::sleep_for(200ms);
  EXPECT_LE(system->polls - polls, 1);
  EXPECT_EQ(LogRecorder::CountStartingWith("PORT_ERROR_HANGUP"), 1u);
  EXPECT_EQ(hangUps, 1);

  port.Close();
  EXPECT_EQ(port.Handle(), -1);

  PtyPair replacement;
  port.SetOnDataReadEvent([&](TComPort& p) { received.Take(p); });
  OpenPort(port, replacement.SlavePath());
  const size_t before = received.Size();
  replacement.Write({7, 8, 9});
  EXPECT_TRUE(received.WaitForBytes(before + 3));
}

TEST_F(ComEventThreadTest, AReadErrorInTheHookEndsReportingAfterOneLine) {
  auto system = std::make_shared<InjectingSystem>();
  system->onRead = [](int, void*, size_t) -> ssize_t {
    errno = EIO;
    return -1;
  };
  TComPort port(system);
  port.SetOnDataReadEvent([&](TComPort& p) { received.Take(p); });
  OpenPort(port, pty.SlavePath());

  pty.Write({1, 2});
  ASSERT_TRUE(LogRecorder::WaitForLineStartingWith("PORT_ERROR_HANGUP"));
  const int polls = system->polls;
  std::this_thread::sleep_for(200ms);  // the bytes are still waiting, unread
  EXPECT_LE(system->polls - polls, 1);
  EXPECT_EQ(received.Calls(), 1);
  EXPECT_EQ(LogRecorder::Lines(),
            std::vector<std::string>{"PORT_ERROR_HANGUP 5 : \"Input/output error\""});
}

// A device file that was hung up by the kernel (an unplugged USB adapter)
// polls as readable and hung up at once, forever, and reads return 0.
TEST_F(ComEventThreadTest, AHungUpFileThatReadsNothingIsLoggedOnceAndNotPolledAgain) {
  auto system = std::make_shared<InjectingSystem>();
  system->onRead = [](int, void*, size_t) -> ssize_t { return 0; };
  system->onPoll = [&](pollfd* fds, nfds_t count, int timeoutMs) {
    for (nfds_t i = 0; i < count; ++i) {
      if (fds[i].fd == system->deviceFd) {
        fds[i].revents = POLLIN | POLLOUT | POLLERR | POLLHUP;
        return 1;
      }
    }
    return system->SerialSystem::Poll(fds, count, timeoutMs);
  };
  TComPort port(system);
  port.SetOnDataReadEvent([&](TComPort& p) { received.Take(p); });
  OpenPort(port, pty.SlavePath());

  ASSERT_TRUE(LogRecorder::WaitForLineStartingWith("PORT_ERROR_HANGUP"));
  const int polls = system->polls;
  std::this_thread::sleep_for(200ms);
  EXPECT_LE(system->polls - polls, 1);
  EXPECT_EQ(received.Calls(), 1);
  EXPECT_EQ(LogRecorder::Lines(),
            std::vector<std::string>{"PORT_ERROR_HANGUP 5 : \"Input/output error\""});
  port.Close();
  EXPECT_FALSE(port.IsOpen());
}

TEST_F(ComEventThreadTest, AFailedWaitEndsTheThreadWithOneLineAndCloseStillWorks) {
  auto system = std::make_shared<InjectingSystem>();
  system->onPoll = [](pollfd*, nfds_t, int) {
    errno = ENOMEM;
    return -1;
  };
  TComPort port(system);
  port.SetOnDataReadEvent([&](TComPort& p) { received.Take(p); });
  OpenPort(port, pty.SlavePath());
  ASSERT_TRUE(LogRecorder::WaitForLineStartingWith("PORT_ERROR_WAIT"));
  EXPECT_EQ(LogRecorder::Lines(),
            std::vector<std::string>{"PORT_ERROR_WAIT 12 : \"Cannot allocate memory\""});
  port.Close();
  EXPECT_EQ(system->polls, 1);
}

TEST_F(ComEventThreadTest, WithoutAReadHookTheDeviceWaitsUnwatchedUntilOneIsSet) {
  auto system = std::make_shared<InjectingSystem>();
  TComPort port(system);
  OpenPort(port, pty.SlavePath());
  pty.Write({1, 2, 3});
  const int polls = system->polls;
  std::this_thread::sleep_for(200ms);  // unread bytes must not make it spin
  EXPECT_LE(system->polls - polls, 1);

  port.SetOnDataReadEvent([&](TComPort& p) { received.Take(p); });
  ASSERT_TRUE(received.WaitForBytes(3));
}

TEST_F(ComEventThreadTest, AThrowingHookIsReportedOnceAndTheThreadGoesOn) {
  TComPort port;
  port.SetOnDataReadEvent([&](TComPort& p) {
    received.Take(p);
    throw std::runtime_error("log file not writable");
  });
  OpenPort(port, pty.SlavePath());

  pty.Write({1});
  ASSERT_TRUE(received.WaitForCalls(1));
  pty.Write({2});
  ASSERT_TRUE(received.WaitForCalls(2));
  pty.Write({3});
  ASSERT_TRUE(received.WaitForBytes(3));
  EXPECT_EQ(LogRecorder::Lines(),
            std::vector<std::string>{"PORT_ERROR_CALLBACK 0 : \"log file not writable\""});
}

// Records the line it was given, then throws.
void ThrowingLog(const std::string& line) {
  LogRecorder::Line(line);
  throw std::runtime_error("disk full");
}

// The hang-up line is the thread's own; logging it throws, and so does the
// line that reports the failure, which therefore goes to stderr. A hang-up
// may be seen without bytes to read, so the read hook is not waited for
// after it.
TEST_F(ComEventThreadTest, ALogCallbackThatThrowsOnTheThreadGoesToStderrOnce) {
  auto lines = std::make_shared<SimulatedModemLines>();
  TComPort port(lines);
  std::atomic<int> ctsEvents{0};
  port.SetOnDataReadEvent([&](TComPort& p) { received.Take(p); });
  port.SetOnCTSEvent([&](TComPort&) {
    {
      std::lock_guard<std::mutex> guard(received.lock);
      ++ctsEvents;
    }
    received.changed.notify_all();
    throw std::runtime_error("hook failed too");  // reported no more: once per Open
  });
  port.SetLogProc(&ThrowingLog);
  testing::internal::CaptureStderr();
  ASSERT_TRUE(port.Open(pty.SlavePath(), 9600, 8, 0, 0));
  pty.Write({1});
  ASSERT_TRUE(received.WaitForBytes(1));  // the thread watches the device

  pty.CloseMaster();
  ASSERT_TRUE(LogRecorder::WaitForLineStartingWith("PORT_ERROR_CALLBACK"));
  // Later passes of the thread: by the first CTS hook the failure report of
  // the hang-up pass is complete.
  lines->SetCts(true);
  ASSERT_TRUE(WaitUntil(received.lock, received.changed, [&] { return ctsEvents >= 1; }));
  lines->SetCts(false);  // the thread still raises hooks
  ASSERT_TRUE(WaitUntil(received.lock, received.changed, [&] { return ctsEvents >= 2; }));
  port.Close();
  const std::string stderrText = testing::internal::GetCapturedStderr();
  EXPECT_EQ(stderrText, pty.SlavePath() + ": PORT_ERROR_CALLBACK 0 : \"disk full\"\n");
  EXPECT_EQ(LogRecorder::Lines(),
            (std::vector<std::string>{"PORT_ERROR_HANGUP 5 : \"Input/output error\"",
                                      "PORT_ERROR_CALLBACK 0 : \"disk full\""}));
}

TEST_F(ComEventThreadTest, ASimulatedBusyLineIsReportedThroughTheCtsHook) {
  auto lines = std::make_shared<SimulatedModemLines>();
  lines->SetCts(true);
  std::mutex lock;
  std::condition_variable changed;
  std::vector<bool> levels;
  TComPort port(lines);  // after what its hook uses: it closes first
  port.SetOnCTSEvent([&](TComPort& p) {
    bool cts = false;
    EXPECT_TRUE(p.GetCtsState(cts));
    {
      std::lock_guard<std::mutex> guard(lock);
      levels.push_back(cts);
    }
    changed.notify_all();
  });
  OpenPort(port, pty.SlavePath());
  ASSERT_TRUE(WaitUntil(lock, changed, [&] { return levels.size() == 1; }));
  lines->SetCts(false);
  ASSERT_TRUE(WaitUntil(lock, changed, [&] { return levels.size() == 2; }));
  std::lock_guard<std::mutex> guard(lock);
  EXPECT_EQ(levels, (std::vector<bool>{true, false}));
}

}  // namespace
}  // namespace kestrune::test
