// Shared pieces of the console's GUI tests: the offscreen application, a
// program folder of their own, a radio stand-in on a pseudo-terminal, and a
// recorder for the general error report.
#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "console/UnitMain.h"

namespace kestrune::test {

// The one QApplication of the test process (offscreen platform).
void EnsureApplication();

// A fresh folder under /tmp, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  QString QPath() const { return QString::fromStdString(path_.string()); }
  void Write(const std::string& name, const std::string& text) const;
  std::string Read(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

// The bus as the program sees it: every byte written comes straight back.
// Runs a thread on the master side of a pseudo-terminal.
class EchoingBus {
 public:
  EchoingBus();
  ~EchoingBus();
  EchoingBus(const EchoingBus&) = delete;
  EchoingBus& operator=(const EchoingBus&) = delete;

  const std::string& DevicePath() const { return slavePath_; }
  std::vector<uint8_t> Received() const;

 private:
  void Run();

  int master_ = -1;
  int slave_ = -1;
  int wake_ = -1;
  std::string slavePath_;
  mutable std::mutex lock_;
  std::vector<uint8_t> received_;
  std::thread thread_;
};

// Replaces the message box of the general error report while it lives.
class RecordedErrors {
 public:
  RecordedErrors();
  ~RecordedErrors();
  QStringList Texts() const;

 private:
  mutable std::mutex lock_;
  QStringList texts_;
};

// Ports whose device never exists, as on a machine without a serial port.
TSb9600::PortFactory NoDevicePorts();

// The log view's lines without their "hh:nn:ss  " time stamps.
QStringList ViewTexts(const TForm1& form);
// Waits (serving events) until the view holds a line with that text.
bool WaitForViewLine(const TForm1& form, const QString& text, int timeoutMs = 10000);

// The whole text of the run's log file, or empty.
std::string ReadLogFile();

}  // namespace kestrune::test
