// Closes the main window the normal way when the process gets SIGTERM, SIGINT
// or SIGHUP (the session ends, the terminal closes, Ctrl+C), so that the
// window's destroy handler runs: the port is closed and the settings written.
//
// The signal handler only writes a byte to a pipe; the GUI thread reads it
// through a socket notifier and does the closing. At most one instance.
#pragma once

#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <memory>

class QWidget;

namespace kestrune {

class TQuitOnSignal : public QObject {
 public:
  // Installs the handlers; throws std::system_error when that fails.
  TQuitOnSignal();
  ~TQuitOnSignal() override;  // restores the default handlers

  // The window to close. A signal that arrived before there was one closes
  // it as soon as the event loop runs.
  void SetWindow(QWidget* window);

  // True once a signal has asked the live instance to close the window: the
  // window then closes without asking the operator anything.
  static bool CloseRequested();

  // Blocks the calling (GUI) thread for ms milliseconds, serving no events,
  // but returns at once when a quit signal arrives, and then closes the
  // window as the notifier would have. Without a live instance it only
  // sleeps.
  static void WaitUnlessSignalled(int ms);

 private:
  void SignalArrived();
  void CloseWindow();

  QPointer<QWidget> window_;
  bool closeRequested_ = false;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace kestrune
