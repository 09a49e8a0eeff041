#include "GuiTestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QTest>
#include <cerrno>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "console/ConsoleLog.h"
#include "console/ErrorReport.h"
#include "serial/SerialSystem.h"

namespace kestrune::test {

void EnsureApplication() {
  if (QApplication::instance()) return;
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

EchoingBus::EchoingBus() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
    throw std::runtime_error("no pseudo-terminal");
  slavePath_ = ptsname(master_);
  // Held open so the master never sees a hang-up between the program's
  // opens; it never reads, so every byte goes to the program.
  slave_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  wake_ = eventfd(0, EFD_CLOEXEC);
  thread_ = std::thread([this] { Run(); });
}

EchoingBus::~EchoingBus() {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = write(wake_, &one, sizeof one);
  thread_.join();
  close(wake_);
  close(slave_);
  close(master_);
}

std::vector<uint8_t> EchoingBus::Received() const {
  std::lock_guard lock(lock_);
  return received_;
}

void EchoingBus::Run() {
  pollfd fds[2] = {{master_, POLLIN, 0}, {wake_, POLLIN, 0}};
  for (;;) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents) return;
    if (fds[0].revents & (POLLHUP | POLLERR)) return;
    uint8_t buf[512];
    const ssize_t n = read(master_, buf, sizeof buf);
    if (n <= 0) continue;
    {
      std::lock_guard lock(lock_);
      received_.insert(received_.end(), buf, buf + n);
    }
    [[maybe_unused]] const ssize_t w = write(master_, buf, static_cast<size_t>(n));
  }
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

bool WaitForViewLine(const TForm1& form, const QString& text, int timeoutMs) {
  return QTest::qWaitFor([&] { return ViewTexts(form).contains(text); }, timeoutMs);
}

std::string ReadLogFile() {
  std::ifstream in(ConsoleLog().LogFileName, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace kestrune::test
