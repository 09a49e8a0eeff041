// Kestrune: the console that drives a two-way radio over a serial line.
// The program reads no command line; where its settings and logs live is
// decided by LocateFiles (console/core/FilePlaces.h).
#include <QApplication>

#include "console/QuitOnSignal.h"
#include "console/UnitMain.h"
#include "protocol/CRC16.h"

int main(int argc, char** argv) {
  // The check-value table, once, before any window or port thread exists.
  kestrune::BuildCrc16Table(kestrune::kSb9600CrcConstant);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Kestrune"));
  // The desktop shell matches the window to its entry (and icon) by this.
  QGuiApplication::setDesktopFileName(QStringLiteral("org.kestrune.Kestrune"));

  // Caught from the start: a signal during start-up closes the window as soon
  // as it is up, the normal way, with the settings written.
  kestrune::TQuitOnSignal quitOnSignal;
  kestrune::TForm1 Form1;
  quitOnSignal.SetWindow(&Form1);
  Form1.show();
  return QApplication::exec();
}
