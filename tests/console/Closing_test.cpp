// Closing the window while something runs, in the application's own event
// loop as the program runs it: the scan or exchange ends at its next step
// (an exchange is never cut), the handler returns, the loop ends with status
// 0, and only then is the window destroyed, once: the port is closed and the
// settings are written.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "ScanTestSupport.h"
#include "console/ConsoleLog.h"
#include "console/QuitOnSignal.h"
#include "tests/support/Files.h"
#include "tests/support/Window.h"

namespace kestrune::test {
namespace {

using Clock = std::chrono::steady_clock;

// A close that waited out the scan's 60 s pause would pass this.
constexpr auto kCloseBound = std::chrono::seconds(20);

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class ClosingTest : public WindowTest {
 protected:
  // The window with "Log to file" on and a scan of 100..104, 60 s apart.
  void StartScanning(const std::string& more = "") {
    form_ = Start("[log]\ntofile=1\n[scan]\nchn_from=100\nchn_to=105\ndelay=60000\n" + more);
    QObject::connect(form_.get(), &QObject::destroyed, [this] { ++destroyed_; });
    ASSERT_NE(form_->fSb9600, nullptr);
  }

  // Runs the application's event loop as main() does, with `start` as its
  // first event and `close` run once `when` holds; then destroys the window
  // as main() does when the loop has ended.
  void RunMainLoop(std::function<void()> start, std::function<bool()> when,
                   std::function<void()> close) {
    QTimer::singleShot(0, form_.get(), std::move(start));
    WhenThen closing(std::move(when), [&] {
      closedAt_ = Clock::now();
      close();
    });
    QTimer hung;  // only so that a failure cannot hang the suite
    hung.setSingleShot(true);
    QObject::connect(&hung, &QTimer::timeout, [] { QCoreApplication::exit(2); });
    hung.start(180000);

    exitCode_ = QApplication::exec();
    loopEndedAt_ = Clock::now();
    ASSERT_TRUE(closing.Fired());
    std::printf("close to end of the main loop: %lld ms\n",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(loopEndedAt_ - closedAt_)
                        .count()));
    destroyedInLoop_ = destroyed_;
    form_.reset();
  }

  void ExpectClosedTheNormalWay() {
    EXPECT_EQ(exitCode_, 0);
    EXPECT_LT(loopEndedAt_ - closedAt_, kCloseBound);
    EXPECT_EQ(destroyedInLoop_, 0);
    EXPECT_EQ(destroyed_, 1);
    const std::string log = ReadLogFile();
    EXPECT_EQ(Count(log, "Port closed"), 1) << log;
    const std::string settings = dir_.Read("settings.ini");
    EXPECT_NE(settings.find("[port]"), std::string::npos) << settings;
    EXPECT_NE(settings.find("[sett]"), std::string::npos) << settings;
  }

  void ClickScan() { form_->ButtonScan->click(); }

  std::unique_ptr<TForm1> form_;
  int destroyed_ = 0;
  int destroyedInLoop_ = -1;
  int exitCode_ = -1;
  Clock::time_point closedAt_, loopEndedAt_;
};

TEST_F(ClosingTest, AWindowClosedInAScansPauseEndsItAtOnce) {
  StartScanning();
  RunMainLoop([this] { ClickScan(); }, Logged(*form_, 100), [this] { form_->close(); });
  ExpectClosedTheNormalWay();
  EXPECT_EQ(ChannelNumbers(bus_), (std::vector<uint16_t>{100}));
}

// Closing in the middle of an exchange whose echo was lost: the attempt in
// flight runs out, and no second attempt goes out.
TEST_F(ClosingTest, AWindowClosedInAScansExchangeLetsTheAttemptFinishAndSendsNoMore) {
  StartScanning();
  sim::Faults faults;
  faults.dropEcho = 1;
  bus_.SetFaults(faults);
  RunMainLoop([this] { ClickScan(); }, Exchanging(*form_, 100), [this] { form_->close(); });
  ExpectClosedTheNormalWay();
  EXPECT_EQ(ChannelNumbers(bus_), (std::vector<uint16_t>{100}));
  EXPECT_EQ(ReadLogFile().find("channel 101"), std::string::npos);
}

TEST_F(ClosingTest, AWindowClosedInACommandButtonsExchangeLetsTheAttemptFinish) {
  const std::vector<uint8_t> frame = AudioMuteFrame();
  StartScanning("[buttons1]\nButtonP1_0=Mute;" + AsCommand(frame).toStdString() + "\n");
  sim::Faults faults;
  faults.dropEcho = 1;
  bus_.SetFaults(faults);
  RunMainLoop([this] { form_->CommandButton(1, 0)->click(); },
              [this] { return !bus_.Received().empty(); }, [this] { form_->close(); });
  ExpectClosedTheNormalWay();
  EXPECT_EQ(bus_.Received(), frame);  // the first attempt went out whole, and no other
}

TEST_F(ClosingTest, ATerminationSignalDuringAScanClosesTheNormalWay) {
  StartScanning();
  TQuitOnSignal quit;
  quit.SetWindow(form_.get());
  RunMainLoop([this] { ClickScan(); }, Logged(*form_, 100), [] { raise(SIGTERM); });
  ExpectClosedTheNormalWay();
  EXPECT_EQ(ChannelNumbers(bus_), (std::vector<uint16_t>{100}));
}

// A script's delay holds the whole window, serving nothing, yet a quit
// signal ends it at once: the script stops there and leaves SBEP mode.
TEST_F(ClosingTest, ATerminationSignalEndsAScriptsDelayAtOnce) {
  StartScanning();
  TQuitOnSignal quit;
  quit.SetWindow(form_.get());
  const std::vector<uint8_t> readRequest{0xF5, 0x11, 0x02, 0x00, 0x00, 0x02, 0xF5};
  form_->MemoCustomPacket->setPlainText("sbep 1\ndelay 30000\nF5 11 02 00 00 02 00");
  // The window serves no events during the delay, so the signal comes from
  // another thread once the delay has begun.
  std::thread signaller([] {
    WaitForText(ConsoleLog().LogFileName, "SBEP mode: success");
    kill(getpid(), SIGTERM);
  });
  QTimer::singleShot(0, form_.get(), [this] { form_->ButtonSendCustomPacket->click(); });
  exitCode_ = QApplication::exec();
  signaller.join();
  form_.reset();

  EXPECT_EQ(exitCode_, 0);
  const std::string log = ReadLogFile();
  const size_t entered = log.find("SBEP mode: success");
  ASSERT_NE(entered, std::string::npos) << log;
  EXPECT_NE(log.find("leaving SBEP mode", entered), std::string::npos) << log;
  EXPECT_NE(log.find("Port closed", entered), std::string::npos) << log;
  const std::vector<uint8_t> received = bus_.Received();
  EXPECT_EQ(std::search(received.begin(), received.end(), readRequest.begin(), readRequest.end()),
            received.end());
}

}  // namespace
}  // namespace kestrune::test
