// TComPort on pseudo-terminals: opening, line settings, writing and reading,
// failures and their log lines.
#include <gtest/gtest.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "serial/SerialDevices.h"
#include "serial/SimulatedModemLines.h"
#include "serial/UnitComPort.h"
#include "tests/serial/Termios2Speed.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/PtyPair.h"
#include "tests/support/SerialSeams.h"

namespace kestrune::test {
namespace {

class ComPortTest : public ::testing::Test {
 protected:
  void SetUp() override { LogRecorder::Reset(); }

  // A port with the test's log, opened on the pty at 9600 8N1.
  void OpenPort(TComPort& port) {
    port.SetLogProc(&LogRecorder::Line);
    ASSERT_TRUE(port.Open(pty.SlavePath(), 9600, 8, 0, 0)) << port.LastError();
  }

  termios Settings(const TComPort& port) {
    termios t{};
    EXPECT_EQ(tcgetattr(port.Handle(), &t), 0);
    return t;
  }

  PtyPair pty;
};

TEST_F(ComPortTest, OpensClosesAndOpensAgain) {
  TComPort port;
  OpenPort(port);
  EXPECT_TRUE(port.IsOpen());
  EXPECT_GE(port.Handle(), 0);
  EXPECT_EQ(port.LastError(), "");

  port.Close();
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.Handle(), -1);

  OpenPort(port);
  EXPECT_TRUE(port.IsOpen());
  EXPECT_TRUE(LogRecorder::Lines().empty());
}

TEST_F(ComPortTest, UnknownDeviceNamesThePortAndTheSystemText) {
  SetSerialDeviceMap({{"COM3", "/nonexistent/ttyKestrune"}});
  TComPort port;
  port.SetLogProc(&LogRecorder::Line);

  EXPECT_FALSE(port.Open("COM3", 9600, 8, 0, 0));
  EXPECT_EQ(port.LastError(), "Cannot open COM3");
  EXPECT_EQ(LogRecorder::Lines(),
            std::vector<std::string>{"Cannot open COM3 2 : \"No such file or directory\""});
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.Handle(), -1);
  SetSerialDeviceMap({});
}

TEST_F(ComPortTest, SecondOpenOfTheSameDeviceIsRefusedUntilTheFirstCloses) {
  TComPort first;
  OpenPort(first);
  TComPort second;
  second.SetLogProc(&LogRecorder::Line);

  EXPECT_FALSE(second.Open(pty.SlavePath(), 9600, 8, 0, 0));
  EXPECT_EQ(second.LastError(), "Cannot open " + pty.SlavePath());
  EXPECT_EQ(LogRecorder::Lines(), std::vector<std::string>{"Cannot open " + pty.SlavePath() +
                                                           " 16 : \"Device or resource busy\""});
  EXPECT_EQ(second.Handle(), -1);

  // A port already open refuses the same way and stays open.
  EXPECT_FALSE(first.Open(pty.SlavePath(), 9600, 8, 0, 0));
  EXPECT_TRUE(first.IsOpen());

  first.Close();
  EXPECT_TRUE(second.Open(pty.SlavePath(), 9600, 8, 0, 0)) << second.LastError();
}

TEST_F(ComPortTest, OpenLeavesARawLineWithoutFlowControl) {
  TComPort port;
  OpenPort(port);
  const termios t = Settings(port);
  EXPECT_EQ(cfgetospeed(&t), B9600);
  EXPECT_EQ(cfgetispeed(&t), B9600);
  EXPECT_EQ(t.c_cflag & CSIZE, CS8);
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), CREAD | CLOCAL);
  EXPECT_EQ(t.c_iflag & (INPCK | IXON | IXOFF | ICRNL | ISTRIP), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(t.c_cc[VMIN], 0);
  EXPECT_EQ(t.c_cc[VTIME], 0);
}

// A pseudo-terminal forces 8 data bits and no parity whatever it is given, so
// the settings are checked as the port hands them to the system.
class AttributeRecorder : public SerialSystem {
 public:
  int SetAttributes(int fd, const termios* attributes) override {
    {
      std::lock_guard<std::mutex> guard(FLock);
      FLast = *attributes;
    }
    return SerialSystem::SetAttributes(fd, attributes);
  }
  termios Last() {
    std::lock_guard<std::mutex> guard(FLock);
    return FLast;
  }

 private:
  std::mutex FLock;
  termios FLast{};
};

// A driver that takes the serial settings: the port asks for low latency.
class SerialInfoRecorder : public SerialSystem {
 public:
  int GetSerialInfo(int, serial_struct* info) override {
    if (refuse != 0) {
      errno = refuse;
      return -1;
    }
    *info = {};
    info->flags = ASYNC_SKIP_TEST;  // what the driver had stays
    return 0;
  }
  int SetSerialInfo(int, const serial_struct* info) override {
    setFlags.push_back(info->flags);
    return 0;
  }
  int refuse = 0;
  std::vector<int> setFlags;
};

TEST_F(ComPortTest, OpenAsksForLowLatencyAndARefusingDriverIsNoFailure) {
  auto system = std::make_shared<SerialInfoRecorder>();
  {
    TComPort port(system);
    OpenPort(port);
  }
  EXPECT_EQ(system->setFlags, (std::vector<int>{ASYNC_SKIP_TEST | ASYNC_LOW_LATENCY}));

  for (const int code : {ENOTTY, EINVAL}) {
    system->refuse = code;
    TComPort port(system);
    OpenPort(port);
    EXPECT_TRUE(port.IsOpen());
  }
  EXPECT_EQ(system->setFlags.size(), 1u);
  EXPECT_TRUE(LogRecorder::Lines().empty());
}

TEST_F(ComPortTest, ParityDataBitsAndStopBitsReachTheLine) {
  struct Case {
    int32_t bits, stopBits, parity;
    tcflag_t size, parityFlags;
    bool twoStopBits;
  };
  const Case cases[] = {
      {8, 0, 0, CS8, 0, false},
      {7, 0, 1, CS7, PARENB | PARODD, false},
      {6, 1, 2, CS6, PARENB, true},  // one and a half stop bits are sent as two
      {5, 2, 3, CS5, PARENB | CMSPAR | PARODD, true},
      {8, 2, 4, CS8, PARENB | CMSPAR, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "bits " << c.bits << " stop " << c.stopBits << " parity " << c.parity);
    auto recorder = std::make_shared<AttributeRecorder>();
    TComPort port(recorder);
    port.SetLogProc(&LogRecorder::Line);
    ASSERT_TRUE(port.Open(pty.SlavePath(), 19200, c.bits, c.stopBits, c.parity));
    const termios t = recorder->Last();
    EXPECT_EQ(t.c_cflag & CSIZE, c.size);
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), c.parityFlags);
    EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.twoStopBits);
    EXPECT_EQ((t.c_iflag & INPCK) != 0, c.parity != 0);
    EXPECT_EQ(cfgetospeed(&t), B19200);
  }
  EXPECT_TRUE(LogRecorder::Lines().empty());
}

TEST_F(ComPortTest, RateWithoutAConstantIsSetExactly) {
  TComPort port;
  port.SetLogProc(&LogRecorder::Line);
  ASSERT_TRUE(port.Open(pty.SlavePath(), 10400, 8, 0, 0));
  EXPECT_EQ(OutputSpeed(port.Handle()), 10400u);
  EXPECT_TRUE(LogRecorder::Lines().empty());
}

TEST_F(ComPortTest, RejectedLineSettingsAreLoggedTwiceButThePortOpens) {
  TComPort port;
  port.SetLogProc(&LogRecorder::Line);
  EXPECT_TRUE(port.Open(pty.SlavePath(), 9600, 9, 0, 0));
  EXPECT_EQ(port.LastError(), "PORT_ERROR_SET_STATE");
  EXPECT_EQ(LogRecorder::Lines(),
            (std::vector<std::string>{"PORT_ERROR_SET_STATE 22 : \"Invalid argument\"",
                                      "PORT_ERROR_SET_STATE"}));
}

TEST_F(ComPortTest, OperationsWithoutADeviceFailWithTheirOwnText) {
  TComPort port;
  port.SetLogProc(&LogRecorder::Line);
  const uint8_t byte = 0x55;
  bool cts = true;
  std::vector<uint8_t> buffer(16);
  int32_t count = 77;

  port.Purge();
  EXPECT_EQ(port.LastError(), "PORT_ERROR_PURGE");
  EXPECT_FALSE(port.SendPacket(&byte, 1));
  EXPECT_EQ(port.LastError(), "PORT_ERROR_HANDLE");
  EXPECT_FALSE(port.GetCtsState(cts));
  EXPECT_FALSE(cts);
  EXPECT_EQ(port.LastError(), "PORT_ERROR_NOT_OPEN");
  EXPECT_FALSE(port.SetTimeouts(9600));
  EXPECT_EQ(port.LastError(), "PORT_ERROR_HANDLE");
  port.SetDtrState(true);
  EXPECT_EQ(port.LastError(), "PORT_ERROR_NOT_OPEN");
  port.ReadData(buffer, count);
  EXPECT_EQ(count, 77);  // untouched
  EXPECT_EQ(port.LastError(), "PORT_ERROR_HANDLE");

  EXPECT_EQ(LogRecorder::Lines(),
            (std::vector<std::string>{
                "PORT_ERROR_PURGE 0 : \"Success\"", "PORT_ERROR_HANDLE 0 : \"Success\"",
                "PORT_ERROR_NOT_OPEN 0 : \"Success\"", "PORT_ERROR_HANDLE 0 : \"Success\"",
                "PORT_ERROR_NOT_OPEN 0 : \"Success\"", "PORT_ERROR_HANDLE 0 : \"Success\""}));
}

TEST_F(ComPortTest, CloseOfAPortNeverOpenedClearsTheErrorWithoutSystemCalls) {
  auto system = std::make_shared<InjectingSystem>();
  TComPort port(system);
  port.Purge();
  ASSERT_EQ(port.LastError(), "PORT_ERROR_PURGE");
  port.Close();
  EXPECT_EQ(port.LastError(), "");
  EXPECT_EQ(system->calls, 0);
}

TEST_F(ComPortTest, PseudoTerminalHasNoModemLinesAndThatIsNoFailure) {
  TComPort port;
  OpenPort(port);
  port.SetDtrState(true);
  port.SetRtsState(true);
  EXPECT_EQ(port.LastError(), "");
  bool cts = true;
  EXPECT_FALSE(port.GetCtsState(cts));
  EXPECT_FALSE(cts);
  EXPECT_TRUE(LogRecorder::Lines().empty());
}

TEST_F(ComPortTest, ModemLinesThroughTheSimulatedSystem) {
  auto lines = std::make_shared<SimulatedModemLines>();
  TComPort port(lines);
  lines->SetModemLines(-1, TIOCM_DTR);  // DTR left high by someone before us
  OpenPort(port);
  EXPECT_FALSE(lines->Dtr());  // Open leaves DTR low

  port.SetDtrState(true);
  EXPECT_TRUE(lines->Dtr());
  port.SetRtsState(true);
  EXPECT_TRUE(lines->Rts());
  port.SetDtrState(false);
  EXPECT_FALSE(lines->Dtr());

  bool cts = false;
  lines->SetCts(true);
  EXPECT_TRUE(port.GetCtsState(cts));
  EXPECT_TRUE(cts);
  lines->SetCts(false);
  EXPECT_TRUE(port.GetCtsState(cts));
  EXPECT_FALSE(cts);
}

// The modem lines in memory, raised by opening the device, as a terminal
// does on Linux.
class LinesRaisedAtOpen : public SimulatedModemLines {
 public:
  int Open(const char* path, int flags) override {
    const int fd = SimulatedModemLines::Open(path, flags);
    if (fd >= 0) SetModemLines(fd, TIOCM_DTR | TIOCM_RTS);
    return fd;
  }
};

TEST_F(ComPortTest, OpenDropsTheDtrAndRtsThatOpeningRaised) {
  auto lines = std::make_shared<LinesRaisedAtOpen>();
  TComPort port(lines);
  OpenPort(port);
  EXPECT_FALSE(lines->Dtr());
  EXPECT_FALSE(lines->Rts());
  EXPECT_EQ(port.LastError(), "");

  // And again on a new Open after Close.
  port.Close();
  OpenPort(port);
  EXPECT_FALSE(lines->Dtr());
  EXPECT_FALSE(lines->Rts());
  EXPECT_TRUE(LogRecorder::Lines().empty());
}

TEST_F(ComPortTest, BytesSentArriveOnTheFarSide) {
  TComPort port;
  OpenPort(port);
  const auto packet = Pattern(300, 0xF0);
  EXPECT_TRUE(port.SendPacket(packet.data(), static_cast<uint32_t>(packet.size())));
  EXPECT_EQ(pty.Read(packet.size()), packet);
  EXPECT_EQ(port.LastError(), "");
}

TEST_F(ComPortTest, SendPacketSurvivesShortWritesInterruptionsAndAFullDriver) {
  auto system = std::make_shared<InjectingSystem>();
  std::atomic<int> writes{0};
  system->onWrite = [&](int fd, const void* buf, size_t n) -> ssize_t {
    switch (writes++ % 4) {
      case 0: errno = EINTR; return -1;
      case 1: errno = EAGAIN; return -1;
      default: return system->SerialSystem::Write(fd, buf, std::min<size_t>(n, 3));
    }
  };
  TComPort port(system);
  OpenPort(port);
  const auto packet = Pattern(100);
  EXPECT_TRUE(port.SendPacket(packet.data(), static_cast<uint32_t>(packet.size())));
  EXPECT_EQ(pty.Read(packet.size()), packet);
}

// The port computes its deadline once, when SendPacket begins, and waits
// for what is left of it. So the time the first wait for room may last is at
// most the whole bound (10 bytes at 9600 baud: 10 x 2 + 40 ms), and that wait
// cannot end before the bound has passed since SendPacket was called; both
// hold however long the thread is kept from running in between.
TEST_F(ComPortTest, SetTimeoutsBoundsTheWaitForRoomInTheDriver) {
  using Clock = std::chrono::steady_clock;
  auto system = std::make_shared<InjectingSystem>();
  std::atomic<int> writeWait{-2};
  std::atomic<Clock::time_point> waitEnds{};
  system->onWrite = [](int, const void*, size_t) -> ssize_t {
    errno = EAGAIN;
    return -1;
  };
  system->onPoll = [&](pollfd* fds, nfds_t count, int timeoutMs) {
    if (count == 1 && fds[0].events == POLLOUT) {
      writeWait = timeoutMs;
      waitEnds = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
      return 0;  // the driver stays full
    }
    return system->SerialSystem::Poll(fds, count, timeoutMs);
  };
  TComPort port(system);
  OpenPort(port);
  const auto packet = Pattern(10);

  EXPECT_FALSE(port.SendPacket(packet.data(), 10));
  EXPECT_EQ(writeWait, -1);  // Open sets no write time-out

  ASSERT_TRUE(port.SetTimeouts(9600));
  const auto sendBegan = Clock::now();
  EXPECT_FALSE(port.SendPacket(packet.data(), 10));
  const auto bound = std::chrono::milliseconds(10 * 2 + 40);
  EXPECT_GE(writeWait, 0);
  EXPECT_LE(writeWait, bound.count());
  EXPECT_GE(waitEnds.load(), sendBegan + bound);
  EXPECT_EQ(port.LastError(), "PORT_ERROR_WRITE");
  EXPECT_EQ(LogRecorder::Lines().back(), "PORT_ERROR_WRITE 110 : \"Connection timed out\"");
}

TEST(WriteTimeout, TwelveBitPeriodsRoundedUpToWholeMilliseconds) {
  EXPECT_EQ(TComPort::WriteTimeoutMultiplier(9600), 2u);
  EXPECT_EQ(TComPort::WriteTimeoutMultiplier(1200), 10u);
  EXPECT_EQ(TComPort::WriteTimeoutMultiplier(115200), 1u);
  EXPECT_EQ(TComPort::WriteTimeoutMultiplier(0), 0u);
}

TEST_F(ComPortTest, ReadDataReturnsAtOnceWithWhatHasArrived) {
  auto system = std::make_shared<InjectingSystem>();
  std::atomic<bool> interruptOnce{true};
  system->onRead = [&](int fd, void* buf, size_t n) -> ssize_t {
    if (interruptOnce.exchange(false)) {
      errno = EINTR;
      return -1;
    }
    return system->SerialSystem::Read(fd, buf, n);
  };
  TComPort port(system);
  OpenPort(port);
  std::vector<uint8_t> buffer(1200);
  int32_t count = -1;
  port.ReadData(buffer, count);
  EXPECT_EQ(count, 0);

  const auto sent = Pattern(40);
  pty.Write(sent);
  pollfd device{static_cast<int>(port.Handle()), POLLIN, 0};
  ASSERT_EQ(poll(&device, 1, 5000), 1);
  port.ReadData(buffer, count);
  ASSERT_GT(count, 0);
  std::vector<uint8_t> got(buffer.begin(), buffer.begin() + count);
  while (got.size() < sent.size() && poll(&device, 1, 5000) == 1) {
    port.ReadData(buffer, count);
    got.insert(got.end(), buffer.begin(), buffer.begin() + count);
  }
  EXPECT_EQ(got, sent);
  EXPECT_TRUE(LogRecorder::Lines().empty());
}

TEST_F(ComPortTest, PurgeDiscardsWhatWasNotRead) {
  TComPort port;
  OpenPort(port);
  pty.Write(Pattern(20));
  pollfd device{static_cast<int>(port.Handle()), POLLIN, 0};
  ASSERT_EQ(poll(&device, 1, 5000), 1);
  port.Purge();
  std::vector<uint8_t> buffer(1200);
  int32_t count = -1;
  port.ReadData(buffer, count);
  EXPECT_EQ(count, 0);
}

}  // namespace
}  // namespace kestrune::test
