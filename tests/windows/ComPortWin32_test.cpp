// The Windows backend of the serial line against a real COM port. Under wine
// that port is a pseudo-terminal served by kestrune-sim (scripts/test win),
// named by KESTRUNE_TEST_COM_PORT; the simulated radio echoes every frame.
#include <windows.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "serial/ComPortBackend.h"
#include "serial/UnitComPort.h"
#include "tests/support/Frames.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/Wait.h"

namespace kestrune::test {
namespace {

std::string PortUnderTest(const char* variable = "KESTRUNE_TEST_COM_PORT") {
  const char* name = std::getenv(variable);
  return name ? name : "";
}

// From the serial driver's interface (ntddser.h, which needs the driver kit's
// types): the output lines as the driver holds them.
constexpr DWORD kGetDtrRts =
    CTL_CODE(FILE_DEVICE_SERIAL_PORT, 30, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr ULONG SERIAL_DTR_STATE = 0x1;
constexpr ULONG SERIAL_RTS_STATE = 0x2;

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

class ComPortWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    LogRecorder::Reset();
    port_ = PortUnderTest();
    ASSERT_FALSE(port_.empty()) << "KESTRUNE_TEST_COM_PORT names no COM port";
  }

  std::string port_;
};

// The line a failed Open logs: text, code, and the system's message without
// its full stop, between quotes.
TEST_F(ComPortWin32Test, MissingPortIsReportedWithTheSystemsCodeAndText) {
  TComPort port;
  port.SetLogProc(&LogRecorder::Line);
  EXPECT_FALSE(port.Open("COM9", 9600, 8, 0, 0));
  EXPECT_EQ(port.LastError(), "Cannot open COM9");
  EXPECT_FALSE(port.IsOpen());
  const std::vector<std::string> lines = LogRecorder::Lines();
  ASSERT_EQ(lines.size(), 1u);
  const std::string prefix = "Cannot open COM9 " + std::to_string(ERROR_FILE_NOT_FOUND) + " : \"";
  ASSERT_EQ(lines[0].rfind(prefix, 0), 0u) << lines[0];
  const std::string message = lines[0].substr(prefix.size());
  ASSERT_GE(message.size(), 2u) << lines[0];
  EXPECT_EQ(message.back(), '"');
  EXPECT_NE(message[message.size() - 2], '.');
  EXPECT_GT(static_cast<unsigned char>(message[message.size() - 2]), 32);
  port.Close();
  EXPECT_EQ(port.Handle(), -1);
}

// COM10 and up exist only in the device namespace, so every COMn is opened
// there; a name that is no COM port goes to the system as it is.
TEST(ComDeviceFileName, ComPortsAreOpenedInTheDeviceNamespace) {
  EXPECT_EQ(ComDeviceFileName("COM1"), "\\\\.\\COM1");
  EXPECT_EQ(ComDeviceFileName("COM12"), "\\\\.\\COM12");
  EXPECT_EQ(ComDeviceFileName("com256"), "\\\\.\\com256");
  EXPECT_EQ(ComDeviceFileName("\\\\.\\COM12"), "\\\\.\\COM12");
  EXPECT_EQ(ComDeviceFileName("COM0"), "COM0");
  EXPECT_EQ(ComDeviceFileName("COMX"), "COMX");
}

// A port above COM9 opens and carries the radio's echo; the log and the
// error text name it as the user did, without the namespace.
TEST_F(ComPortWin32Test, PortsAboveNineOpenAndKeepTheirNameInTheLog) {
  const std::string high = PortUnderTest("KESTRUNE_TEST_HIGH_COM_PORT");
  ASSERT_FALSE(high.empty()) << "KESTRUNE_TEST_HIGH_COM_PORT names no COM port";
  TComPort port;
  port.SetLogProc(&LogRecorder::Line);
  ASSERT_TRUE(port.Open(high, 9600, 8, 0, 0)) << port.LastError();
  port.Close();

  EXPECT_FALSE(port.Open("COM13", 9600, 8, 0, 0));
  EXPECT_EQ(port.LastError(), "Cannot open COM13");
  EXPECT_EQ(LogRecorder::CountStartingWith("Cannot open COM13 "), 1u);
  EXPECT_EQ(LogRecorder::CountStartingWith("Cannot open \\\\.\\"), 0u);
}

// The DCB as the device holds it after Open. A pseudo-terminal always
// carries 8 bits without parity, whatever it is told, so data bits and
// parity are checked on 8N1 only; the rate, stop bits and flags for each.
TEST_F(ComPortWin32Test, OpenSetsTheLineUpThroughTheCommState) {
  struct Case {
    int32_t baud, bits, stopBits, parity;
  };
  for (const Case c : {Case{9600, 8, 0, 0}, Case{4800, 7, 2, 2}, Case{19200, 8, 0, 1}}) {
    TComPort port;
    port.SetLogProc(&LogRecorder::Line);
    ASSERT_TRUE(port.Open(port_, c.baud, c.bits, c.stopBits, c.parity)) << port.LastError();
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(AsHandle(port.Handle()), &dcb));
    EXPECT_EQ(dcb.BaudRate, static_cast<DWORD>(c.baud));
    EXPECT_EQ(dcb.StopBits, c.stopBits);
    if (c.bits == 8 && c.parity == 0) {
      EXPECT_EQ(dcb.ByteSize, 8);
      EXPECT_EQ(dcb.Parity, NOPARITY);
      EXPECT_EQ(dcb.fParity, 0u);
    }
    EXPECT_EQ(dcb.fBinary, 1u);
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
    EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));
    port.Close();
    EXPECT_EQ(port.Handle(), -1);
  }
  EXPECT_TRUE(LogRecorder::Lines().empty());
}

// DTR and RTS go out through EscapeCommFunction. The line under test loops
// them back (DTR to DSR, RTS to CTS; under wine the preloaded modem-line
// library does), so GetCommModemStatus shows what was set.
TEST_F(ComPortWin32Test, DtrAndRtsFollowTheirSetters) {
  TComPort port;
  port.SetLogProc(&LogRecorder::Line);
  ASSERT_TRUE(port.Open(port_, 9600, 8, 0, 0)) << port.LastError();
  const auto inputs = [&] {
    DWORD status = 0;
    EXPECT_TRUE(GetCommModemStatus(AsHandle(port.Handle()), &status));
    return status & (MS_DSR_ON | MS_CTS_ON);
  };
  port.SetRtsState(false);
  EXPECT_EQ(inputs(), 0u) << "Open leaves DTR low";
  port.SetDtrState(true);
  EXPECT_EQ(inputs(), static_cast<DWORD>(MS_DSR_ON));
  port.SetRtsState(true);
  EXPECT_EQ(inputs(), static_cast<DWORD>(MS_DSR_ON | MS_CTS_ON));
  bool cts = false;
  EXPECT_TRUE(port.GetCtsState(cts));
  EXPECT_TRUE(cts);
  port.SetDtrState(false);
  port.SetRtsState(false);
  EXPECT_EQ(inputs(), 0u);
  EXPECT_TRUE(port.GetCtsState(cts));
  EXPECT_FALSE(cts);
  EXPECT_TRUE(LogRecorder::Lines().empty());
}

// The radio's echo reaches the read hook, which only the event thread raises
// (from a completed WaitCommEvent); Close wakes the thread and ends it.
TEST_F(ComPortWin32Test, EventThreadDeliversTheEchoAndEndsOnClose) {
  TComPort port;
  port.SetLogProc(&LogRecorder::Line);
  ASSERT_TRUE(port.Open(port_, 9600, 8, 0, 0)) << port.LastError();
  std::mutex lock;
  std::condition_variable changed;
  Bytes received;
  const DWORD main = GetCurrentThreadId();
  bool onOtherThread = true;
  port.SetOnDataReadEvent([&](TComPort& p) {
    std::vector<uint8_t> buffer(1200);
    int32_t count = 0;
    p.ReadData(buffer, count);
    std::lock_guard guard(lock);
    onOtherThread = onOtherThread && GetCurrentThreadId() != main;
    received.insert(received.end(), buffer.begin(), buffer.begin() + count);
    changed.notify_all();
  });
  const Bytes frame = Sb9600Frame(0x03, 0x11, 0x80, 0x3F);
  for (int round = 1; round <= 3; ++round) {
    ASSERT_TRUE(port.SendPacket(frame.data(), static_cast<uint32_t>(frame.size())))
        << port.LastError();
    ASSERT_TRUE(WaitUntil(lock, changed, [&] { return received.size() >= frame.size() * round; }))
        << "echo " << round << " did not arrive";
  }
  port.Close();
  std::lock_guard guard(lock);
  EXPECT_TRUE(onOtherThread);
  Bytes expected;
  for (int round = 0; round < 3; ++round)
    expected.insert(expected.end(), frame.begin(), frame.end());
  EXPECT_EQ(received, expected);
  EXPECT_TRUE(LogRecorder::Lines().empty()) << LogRecorder::Lines()[0];
}

}  // namespace
}  // namespace kestrune::test
