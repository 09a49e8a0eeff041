#include "console/QtEventPump.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

namespace kestrune {
namespace {

class QtPumpTimer final : public PumpTimer {
 public:
  explicit QtPumpTimer(std::chrono::milliseconds interval) {
    FTimer.setSingleShot(true);
    FTimer.setTimerType(Qt::PreciseTimer);
    FTimer.setInterval(interval);
  }

  void Enable() override {
    if (!FTimer.isActive()) FTimer.start();
  }
  void Disable() override { FTimer.stop(); }
  bool Enabled() const override { return FTimer.isActive(); }

 private:
  QTimer FTimer;
};

}  // namespace

QtEventPump::QtEventPump()
    : FDispatcher(QAbstractEventDispatcher::instance(QThread::currentThread())) {
  Q_ASSERT(FDispatcher != nullptr);
}

std::unique_ptr<PumpTimer> QtEventPump::CreateTimer(std::chrono::milliseconds interval) {
  return std::make_unique<QtPumpTimer>(interval);
}

void QtEventPump::WaitForEvents() {
  QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void QtEventPump::Wake() { FDispatcher->wakeUp(); }

}  // namespace kestrune
