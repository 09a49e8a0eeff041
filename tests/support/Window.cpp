#include "tests/support/Window.h"

#include <QApplication>
#include <QTest>
#include <cerrno>

#include "console/ConsoleLog.h"
#include "console/ErrorReport.h"
#include "console/LogView.h"
#include "console/core/CommandText.h"
#include "serial/SerialSystem.h"
#include "tests/support/Frames.h"

// Debian's fontconfig keeps what it allocates for the fonts it has loaded
// until the process ends; LeakSanitizer would report that at every exit.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace kestrune::test {

void EnsureApplication() {
  if (QCoreApplication::instance()) return;
  // The window keeps "CustomPackets.txt" in the working directory: each test
  // process works in a folder of its own, not in the build tree.
  static const ScratchDir workingDir;
  std::filesystem::current_path(workingDir.Path());
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "kestrune-test";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);  // lives until the process ends
  QApplication::setApplicationName(QStringLiteral("Kestrune"));
}

QString QPathOf(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }

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

QStringList ViewLines(const TForm1& form) {
  QStringList lines;
  const QAbstractItemModel& model = *form.MemoLog->model();
  for (int row = 0; row < model.rowCount(); ++row)
    lines.append(model.index(row, 0).data().toString());
  return lines;
}

QStringList ViewTexts(const TForm1& form) {
  QStringList texts;
  for (const QString& line : ViewLines(form)) texts.append(line.mid(10));
  return texts;
}

bool WaitForViewLine(const TForm1& form, const QString& text, std::chrono::milliseconds patience) {
  return QTest::qWaitFor([&] { return ViewTexts(form).contains(text); },
                         static_cast<int>(patience.count()));
}

std::string ReadLogFile() { return ReadFile(ConsoleLog().LogFileName); }

std::unique_ptr<TForm1> WindowTest::OpenWindow(TForm1Options options) {
  options.ProgramDir = QPathOf(dir_.Path());
  auto form = std::make_unique<TForm1>(std::move(options));
  form->show();
  return form;
}

std::unique_ptr<TForm1> WindowTest::Start(const std::string& settings, TForm1Options options) {
  dir_.Write("settings.ini", RadioSection() + settings);
  return OpenWindow(std::move(options));
}

std::unique_ptr<TForm1> WindowTest::StartWithoutDevice(const std::string& settings) {
  dir_.Write("settings.ini", settings);
  TForm1Options options;
  options.PortFactory = NoDevicePorts();
  return OpenWindow(std::move(options));
}

std::string WindowTest::RadioSection() const {
  return "[devices]\nCOM1=" + bus_.DevicePath() + "\n";
}

}  // namespace kestrune::test
