#include "console/UnitMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QLineEdit>
#include <QProgressBar>
#include <QScopeGuard>
#include <QStatusBar>
#include <stdexcept>

#include "console/ConsoleLog.h"
#include "console/ErrorReport.h"
#include "console/LogViewFeed.h"
#include "console/QuitOnSignal.h"
#include "console/UnitSetButtons.h"
#include "console/WidgetKit.h"
#include "console/core/DeviceWatch.h"
#include "console/core/IniFile.h"
#include "console/core/LineSettings.h"

namespace kestrune {

// ------------------------------------------------------------------ creation

TForm1::TForm1(TForm1Options options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)) {
  BuildWindow();
  ConnectHandlers();
  logFeed_ = new TLogViewFeed(MemoLog);
  ConsoleLog().View = logFeed_;
  Guarded([this] { FormCreate(); });
  FormSetButton = new TFormSetButton(this);
}

TForm1::~TForm1() {
  Guarded([this] { FormDestroy(); });
  ConsoleLog().View = nullptr;
}

// ------------------------------------------------------- start and shutdown

void TForm1::FormCreate() {
  TConsoleLog& log = ConsoleLog();
  log.AppClosing = false;
  log.FileFailureReported = false;
  log.LogToFile = CheckBoxLogToFile->isChecked();

  programDir_ =
      options_.ProgramDir.isEmpty() ? QCoreApplication::applicationDirPath() : options_.ProgramDir;
  if (!programDir_.endsWith(u'/')) programDir_ += u'/';
  // The log folder is made by the first line written to the file.
  places_ = LocateFiles(ToStd(programDir_), ProcessEnvironment());
  EditSettingsFile->setText(SettingsFileName());
  EditLogFolder->setText(LogDir());
  log.LogFileName =
      ToStd(LogDir() + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmm")) +
            QStringLiteral(".log"));
  ScanRunning = false;

  {
    const TIniFile ini(places_.ReadFile());
    // Said once; the program runs on defaults and leaves the file alone.
    if (ini.ReadError()) ShowErrorReport(FromStd(*ini.ReadError()));
    ReadSettings(ini);
    LoadCustomPackets();
  }

  ProgressBar1 = Named(new QProgressBar(StatusBar1), "ProgressBar1");
  ProgressBar1->setAccessibleName(QStringLiteral("Progress"));
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setTextVisible(false);

  ButtonPortApplyClick();
}

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_) return;
  shown_ = true;
  Guarded([this] { FormShow(); });
}

void TForm1::FormShow() {
  ProgressBar1->setGeometry(StatusPanels[1]->geometry());
  ProgressBar1->hide();
}

// Closing while an operation runs: the flag is set at once, so the operation
// ends at its next step and the handler's nested waits unwind; the main loop
// then ends and FormDestroy runs as usual.
void TForm1::closeEvent(QCloseEvent* event) {
  if (!MayCloseDuringMemoryTransfer()) {
    event->ignore();
    return;
  }
  BeginClosing();
  QMainWindow::closeEvent(event);
}

bool TForm1::AppClosing() { return ConsoleLog().AppClosing.load(); }

// From now on the operations end at their next step and the engine starts
// no further attempt of any exchange.
void TForm1::BeginClosing() {
  ConsoleLog().AppClosing = true;
  if (fSb9600) fSb9600->BeginClosing();
}

void TForm1::FormDestroy() {
  BeginClosing();
  StopWatchingDevice();
  fSb9600.reset();  // closes the port; "Port closed" reaches the file only

  // Each file on its own: a settings file that cannot be written must not
  // cost the operator the script, nor the other way round.
  Guarded([this] {
    PrepareSettingsFile(places_);
    TIniFile ini(ToStd(SettingsFileName()));
    WriteSettings(ini);
    ini.UpdateFile();
  });
  Guarded([this] { SaveCustomPackets(); });
}

// ------------------------------------------------------------- the port

bool TForm1::CheckEngine() {
  if (fSb9600) return true;
  LogLine("Port is not open");
  return false;
}

bool TForm1::CheckPortOpen() {
  return !RefusedWhileUnplugged() && CheckEngine() && !RefusedDuringMemoryTransfer();
}

bool TForm1::MayStartOperation() {
  if (!runningOperation_) return true;
  LogLine(std::string("Refused: ") + runningOperation_ + " is running");
  return false;
}

TOperationContext TForm1::OperationContext() {
  // A script's delay pauses the whole window, as the operator asked, yet a
  // quit signal still ends it at once.
  return TOperationContext{*fSb9600, pump_, LogLine, &TForm1::AppClosing,
                           &TQuitOnSignal::WaitUnlessSignalled};
}

void TForm1::ButtonPortApplyClick() {
  // Replacing the port under a running exchange would pull it from beneath
  // the engine's wait, which resumes once this handler returns.
  if (exchangeDepth_ > 0)
    throw std::runtime_error("The port cannot be changed while an exchange is running");

  const PortLine line = CheckedLine(ShownLineSettings());
  // The operator's Apply ends any wait for an unplugged device.
  lineUnplugged_ = false;
  StopWatchingDevice();
  OpenLine(line);
}

namespace {

void DiscardLine(const std::string&) {}

}  // namespace

void TForm1::OpenLine(const PortLine& line, FailureLog failureLog) {
  const bool logTX = CheckBoxLogTransmit->isChecked();
  const bool logRX = CheckBoxLogReceive->isChecked();
  const bool quiet = failureLog == FailureLog::Quiet;

  if (!fSb9600)
    fSb9600 = std::make_unique<TSb9600>(pump_, options_.PortFactory);
  else
    fSb9600->FreeComPort();
  fSb9600->SetLog(quiet ? DiscardLine : LogLine, LogDump, logTX, logRX);
  fSb9600->CreatePort(line.Name, line.Baud, line.Bits, line.StopBits, line.Parity, logTX, logRX);

  TComPort* port = fSb9600->ComPort();
  if (port && port->IsOpen() && port->Handle() >= 0) {
    if (quiet) {
      fSb9600->SetLog(LogLine, LogDump, logTX, logRX);
      port->SetLogProc(LogLine);
      LogLine("Port " + line.Name + " is open");
    }
    NoteLineOpened(line);
    return;
  }
  NoteLineFailed(line, port ? port->LastErrorCode() : 0, failureLog);
  fSb9600.reset();  // logs "Port closed"
}

bool TForm1::SendRepeatAndWait(const std::vector<uint8_t>& packet) {
  ++exchangeDepth_;
  const auto leave = qScopeGuard([this] { --exchangeDepth_; });
  return fSb9600->SendRepeatAndWait(packet);
}

}  // namespace kestrune
