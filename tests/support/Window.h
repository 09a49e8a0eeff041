// What the console's GUI tests share: the offscreen application, a recorder
// for the general error report, the log view's texts, and WindowTest, the
// fixture that opens the main window in a program folder of its own with the
// simulated radio on COM1.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "console/UnitMain.h"
#include "tests/support/Files.h"
#include "tests/support/SimulatedRadio.h"
#include "tests/support/Wait.h"

// Readable QStrings in test failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace kestrune::test {

// The one QApplication of the test process (offscreen platform).
void EnsureApplication();

QString QPathOf(const std::filesystem::path& path);

// A valid SB9600 frame (check byte filled in) with the opcode AUDIO MUTE,
// which the radio takes without answering.
std::vector<uint8_t> AudioMuteFrame();
// Bytes as command text ("00 01 ...").
QString AsCommand(const std::vector<uint8_t>& bytes);

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

// The log view's lines as its model gives them to the list and to
// assistive tools, and the same without their "hh:nn:ss  " time stamps.
QStringList ViewLines(const TForm1& form);
QStringList ViewTexts(const TForm1& form);
// Waits (serving events) until the view holds a line with that text.
bool WaitForViewLine(const TForm1& form, const QString& text,
                     std::chrono::milliseconds patience = kPatience);

// The whole text of the run's log file, or empty.
std::string ReadLogFile();

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override { EnsureApplication(); }

  // The window over the program folder as the test left it, shown.
  std::unique_ptr<TForm1> OpenWindow(TForm1Options options = {});
  // The same after writing settings.ini: COM1 mapped to the radio, then `settings`.
  std::unique_ptr<TForm1> Start(const std::string& settings = "", TForm1Options options = {});
  // The same with settings.ini holding `settings` only, on a machine
  // without serial ports.
  std::unique_ptr<TForm1> StartWithoutDevice(const std::string& settings = "");

  std::string RadioSection() const;

  ScratchDir dir_;  // the program folder
  SimulatedRadio bus_;
  RecordedErrors errors_;
};

}  // namespace kestrune::test
