// Shared pieces of the console's GUI tests: the offscreen application, a
// program folder of their own, a radio stand-in on a pseudo-terminal, and a
// recorder for the general error report.
#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "console/UnitMain.h"
#include "sim/PtyLine.h"
#include "sim/RadioLink.h"
#include "tests/support/Wait.h"

// Readable QStrings in test failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

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

// The simulated radio on a pseudo-terminal, served by a thread of its own:
// it echoes every byte and answers as the radio does.
class SimulatedRadio {
 public:
  SimulatedRadio();
  ~SimulatedRadio();
  SimulatedRadio(const SimulatedRadio&) = delete;
  SimulatedRadio& operator=(const SimulatedRadio&) = delete;

  const std::string& DevicePath() const;
  // The bytes of every frame the radio has taken in, in order.
  std::vector<uint8_t> Received();
  void SetFaults(sim::Faults faults) { link_->SetFaults(std::move(faults)); }
  // f(radio) under the radio's lock: what the radio recorded.
  template <class F>
  auto WithRadio(F&& f) {
    return link_->WithRadio(std::forward<F>(f));
  }

 private:
  std::unique_ptr<sim::PtyLine> line_;
  std::unique_ptr<sim::RadioLink> link_;
  std::thread thread_;
};

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

// The log view's lines without their "hh:nn:ss  " time stamps.
QStringList ViewTexts(const TForm1& form);
// Waits (serving events) until the view holds a line with that text.
bool WaitForViewLine(const TForm1& form, const QString& text,
                     std::chrono::milliseconds patience = kPatience);

// The whole text of the run's log file, or empty.
std::string ReadLogFile();

}  // namespace kestrune::test
