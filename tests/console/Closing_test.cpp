// Closing the window while something runs, in the application's own event
// loop as the program runs it: the scan or exchange ends at its next step
// (an exchange is never cut), the handler returns, the loop ends with status
// 0, and only then is the window destroyed, once: the port is closed and the
// settings are written.
#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <memory>

#include "ScanTestSupport.h"
#include "console/QuitOnSignal.h"
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

TEST_F(ClosingTest, AWindowClosedInAScansExchangeLetsItFinishAndSendsNoMore) {
  StartScanning();
  sim::Faults faults;
  faults.dropEcho = 1;  // the exchange of channel 100 waits for its second attempt
  bus_.SetFaults(faults);
  RunMainLoop([this] { ClickScan(); }, Exchanging(*form_, 100), [this] { form_->close(); });
  ExpectClosedTheNormalWay();
  EXPECT_EQ(ChannelNumbers(bus_), (std::vector<uint16_t>{100, 100}));
  const std::string log = ReadLogFile();
  EXPECT_LT(log.find("channel 100 set"), log.find("Port closed"));
}

TEST_F(ClosingTest, AWindowClosedInACommandButtonsExchangeLetsItFinish) {
  const std::vector<uint8_t> frame = AudioMuteFrame();
  StartScanning("[buttons1]\nButtonP1_0=Mute;" + AsCommand(frame).toStdString() + "\n");
  sim::Faults faults;
  faults.dropEcho = 1;
  bus_.SetFaults(faults);
  RunMainLoop([this] { form_->CommandButton(1, 0)->click(); },
              [this] { return !bus_.Received().empty(); }, [this] { form_->close(); });
  ExpectClosedTheNormalWay();
  std::vector<uint8_t> twice = frame;  // both attempts went out whole
  twice.insert(twice.end(), frame.begin(), frame.end());
  EXPECT_EQ(bus_.Received(), twice);
}

TEST_F(ClosingTest, ATerminationSignalDuringAScanClosesTheNormalWay) {
  StartScanning();
  TQuitOnSignal quit;
  quit.SetWindow(form_.get());
  RunMainLoop([this] { ClickScan(); }, Logged(*form_, 100), [] { raise(SIGTERM); });
  ExpectClosedTheNormalWay();
  EXPECT_EQ(ChannelNumbers(bus_), (std::vector<uint16_t>{100}));
}

}  // namespace
}  // namespace kestrune::test
