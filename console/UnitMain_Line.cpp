// The line's state: its status-bar panel, what a hang-up does to the
// console, and reopening the device when it comes back.
#include <QCheckBox>
#include <QLabel>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QTimer>
#include <filesystem>

#include "console/ConsoleLog.h"
#include "console/ErrorReport.h"
#include "console/UnitMain.h"
#include "console/WidgetKit.h"
#include "console/core/DeviceWatch.h"
#include "console/core/PermissionHint.h"

namespace kestrune {

namespace {

// An operation or exchange still unwinding from the hang-up is let finish
// before the port is replaced underneath it.
constexpr int kReopenRetryMs = 250;

}  // namespace

void TForm1::BuildLinePanel() {
  StatusPanelLine = Named(new QLabel, "StatusPanelLine");
  StatusPanelLine->setAccessibleName(QStringLiteral("Line state"));
  StatusPanelLine->setFocusPolicy(Qt::TabFocus);  // an assistive tool can stop on it
  StatusBar1->addWidget(StatusPanelLine, 1);
  ShowLineState(LineState::Closed);
}

QString TForm1::LineStateText(LineState state) const {
  static const char* const kStates[] = {"closed", "open", "unplugged — waiting for it", "unplugged",
                                        "no permission"};
  const QString text = QString::fromUtf8(kStates[static_cast<int>(state)]);
  if (!openLine_) return text;
  return FromStd(openLine_->Name) + QStringLiteral(" → ") + FromStd(openDevice_) + u' ' + text;
}

void TForm1::ShowLineState(LineState state) {
  lineState_ = state;
  const QString text = LineStateText(state);
  StatusPanelLine->setText(text);
  StatusPanelLine->setAccessibleDescription(text);
}

// After CreatePort: the panel, the hang-up hook, the permission hint.
void TForm1::NoteLineOpened(const PortLine& line) {
  openLine_ = line;
  openDevice_ = MappedDevice(line.Name);
  lineUnplugged_ = false;
  StopWatchingDevice();
  TComPort* port = fSb9600->ComPort();
  const int generation = ++portGeneration_;
  port->SetOnHangUpEvent([this, generation](TComPort&) {
    QMetaObject::invokeMethod(
        this, [this, generation] { Guarded([&] { LineHungUp(generation); }); },
        Qt::QueuedConnection);
  });
  ShowLineState(LineState::Open);
}

void TForm1::NoteLineFailed(const PortLine& line, int code, FailureLog failureLog) {
  openLine_ = line;
  openDevice_ = MappedDevice(line.Name);
  ++portGeneration_;
  const bool refused = PermissionRefused(code);
  if (refused && failureLog == FailureLog::Logged)
    if (const std::optional<std::string> hint = PermissionHint(openDevice_, code)) LogLine(*hint);
  if (lineUnplugged_) return;  // still waiting for the device
  ShowLineState(refused ? LineState::NoPermission : LineState::Closed);
}

bool TForm1::LineUnplugged() const { return lineUnplugged_ || (fSb9600 && fSb9600->PortLost()); }

bool TForm1::RefusedWhileUnplugged() {
  if (!LineUnplugged()) return false;
  LogLine(openLine_->Name + " is unplugged");
  return true;
}

void TForm1::LineHungUp(int generation) {
  if (generation != portGeneration_ || AppClosing()) return;
  lineUnplugged_ = true;
  reopenFailureLogged_ = false;
  if (!CheckBoxPortReopen->isChecked()) {
    ShowLineState(LineState::Unplugged);
    return;
  }
  ShowLineState(LineState::Waiting);
  WatchDevice();
}

void TForm1::WatchDevice() {
  deviceWatch_ = std::make_unique<DeviceWatch>(openDevice_);
  if (deviceWatch_->Descriptor() < 0) return;
  deviceNotifier_ = new QSocketNotifier(deviceWatch_->Descriptor(), QSocketNotifier::Read, this);
  connect(deviceNotifier_, &QSocketNotifier::activated, this,
          [this] { Guarded([this] { DeviceChanged(); }); });
  // It may have come back before the watch began.
  std::error_code error;
  if (std::filesystem::exists(openDevice_, error))
    QTimer::singleShot(0, this, [this] { Guarded([this] { ReopenLine(); }); });
}

void TForm1::StopWatchingDevice() {
  delete deviceNotifier_;
  deviceNotifier_ = nullptr;
  deviceWatch_.reset();
}

// A device that went away and came back is a new return: its failed open
// is logged again.
void TForm1::DeviceChanged() {
  if (!deviceWatch_) return;
  const bool present = deviceWatch_->TakeEvents();
  if (deviceWatch_->WentAway()) reopenFailureLogged_ = false;
  if (present) ReopenLine();
}

void TForm1::ReopenLine() {
  if (!deviceWatch_ || !lineUnplugged_ || AppClosing()) return;
  if (exchangeDepth_ > 0 || runningOperation_) {
    QTimer::singleShot(kReopenRetryMs, this, [this] { Guarded([this] { ReopenLine(); }); });
    return;
  }
  // A refusal keeps the watch: the next change of the device (udev sets
  // its group and mode just after making it) tries again. The failure is
  // logged once for each return of the device, not at every change.
  OpenLine(*openLine_, reopenFailureLogged_ ? FailureLog::Quiet : FailureLog::Logged);
  if (lineUnplugged_) reopenFailureLogged_ = true;
}

}  // namespace kestrune
