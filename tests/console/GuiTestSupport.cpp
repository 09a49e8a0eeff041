#include "GuiTestSupport.h"

#include <stdlib.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QTest>
#include <cerrno>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "console/ConsoleLog.h"
#include "console/ErrorReport.h"
#include "console/core/CommandText.h"
#include "serial/SerialSystem.h"
#include "tests/support/Frames.h"

// Debian's fontconfig keeps what it allocates for the fonts it has loaded
// until the process ends; LeakSanitizer would report that at every exit.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace kestrune::test {

void EnsureApplication() {
  if (QApplication::instance()) return;
  // The window keeps "CustomPackets.txt" in the working directory: each test
  // process works in a folder of its own, not in the build tree.
  static const TempDir workingDir;
  std::filesystem::current_path(workingDir.Path());
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "kestrune-test";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);  // lives until the process ends
  QApplication::setApplicationName(QStringLiteral("Kestrune"));
}

TempDir::TempDir() {
  char pattern[] = "/tmp/kestrune-gui-XXXXXX";
  if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void TempDir::Write(const std::string& name, const std::string& text) const {
  std::ofstream(path_ / name, std::ios::binary) << text;
}

std::string TempDir::Read(const std::string& name) const {
  std::ifstream in(path_ / name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

SimulatedRadio::SimulatedRadio()
    : line_(std::make_unique<sim::PtyLine>(std::string())),
      link_(std::make_unique<sim::RadioLink>(sim::RadioConfig{}, line_->MasterFd())),
      thread_([this] { link_->Run(); }) {}

SimulatedRadio::~SimulatedRadio() {
  link_->Stop();
  thread_.join();
}

const std::string& SimulatedRadio::DevicePath() const { return line_->SlavePath(); }

std::vector<uint8_t> SimulatedRadio::Received() {
  return link_->WithRadio([](sim::SimRadio& radio) {
    std::vector<uint8_t> bytes;
    for (const sim::ReceivedFrame& frame : radio.FramesReceived())
      bytes.insert(bytes.end(), frame.bytes.begin(), frame.bytes.end());
    return bytes;
  });
}

std::vector<uint8_t> AudioMuteFrame() { return Sb9600Frame(0x00, 0x01, 0x00, 0x1D); }

QString AsCommand(const std::vector<uint8_t>& bytes) {
  return QString::fromStdString(FormatCommandBytes(bytes));
}

RecordedErrors::RecordedErrors() {
  SetErrorReportSink([this](const QString& text) {
    std::lock_guard lock(lock_);
    texts_.append(text);
  });
}

RecordedErrors::~RecordedErrors() { SetErrorReportSink({}); }

QStringList RecordedErrors::Texts() const {
  std::lock_guard lock(lock_);
  return texts_;
}

TSb9600::PortFactory NoDevicePorts() {
  struct NoDevice : SerialSystem {
    int Open(const char*, int) override {
      errno = ENOENT;
      return -1;
    }
  };
  return [] { return std::make_unique<TComPort>(std::make_shared<NoDevice>()); };
}

QStringList ViewTexts(const TForm1& form) {
  QStringList texts;
  const QString all = form.MemoLog->toPlainText();
  if (all.isEmpty()) return texts;
  for (const QString& line : all.split(u'\n')) texts.append(line.mid(10));
  return texts;
}

bool WaitForViewLine(const TForm1& form, const QString& text, std::chrono::milliseconds patience) {
  return QTest::qWaitFor([&] { return ViewTexts(form).contains(text); },
                         static_cast<int>(patience.count()));
}

std::string ReadLogFile() {
  std::ifstream in(ConsoleLog().LogFileName, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace kestrune::test
