#include "console/QuitOnSignal.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QWidget>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <system_error>
#include <thread>

namespace kestrune {

namespace {

constexpr std::array kSignals{SIGTERM, SIGINT, SIGHUP};
int g_pipe[2] = {-1, -1};
TQuitOnSignal* g_instance = nullptr;

extern "C" void WriteSignalByte(int) {
  const int saved = errno;
  const char byte = 1;
  // A full pipe already holds a pending request; dropping this byte is fine.
  [[maybe_unused]] const ssize_t n = write(g_pipe[1], &byte, 1);
  errno = saved;
}

void SetHandler(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : kSignals) sigaction(sig, &action, nullptr);
}

}  // namespace

TQuitOnSignal::TQuitOnSignal() {
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_pipe) != 0)
    throw std::system_error(errno, std::generic_category(), "socketpair");
  notifier_ = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &TQuitOnSignal::SignalArrived);
  SetHandler(WriteSignalByte);
  g_instance = this;
}

TQuitOnSignal::~TQuitOnSignal() {
  g_instance = nullptr;
  SetHandler(SIG_DFL);
  notifier_.reset();
  close(g_pipe[0]);
  close(g_pipe[1]);
  g_pipe[0] = g_pipe[1] = -1;
}

void TQuitOnSignal::SetWindow(QWidget* window) {
  window_ = window;
  if (closeRequested_)
    QMetaObject::invokeMethod(this, &TQuitOnSignal::CloseWindow, Qt::QueuedConnection);
}

bool TQuitOnSignal::CloseRequested() { return g_instance && g_instance->closeRequested_; }

void TQuitOnSignal::WaitUnlessSignalled(int ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    if (!g_instance) {
      std::this_thread::sleep_for(left);
      return;
    }
    pollfd signalled{g_pipe[0], POLLIN, 0};
    const int ready = poll(&signalled, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;  // the byte is in the pipe by now
    if (ready > 0) g_instance->SignalArrived();
    return;
  }
}

void TQuitOnSignal::SignalArrived() {
  char bytes[16];
  while (read(g_pipe[0], bytes, sizeof bytes) > 0) {
  }
  closeRequested_ = true;
  CloseWindow();
}

void TQuitOnSignal::CloseWindow() {
  // A modal dialog runs its own event loop; close it first so the window's
  // close is not held up behind it.
  for (QWidget* last = nullptr; QWidget* modal = QApplication::activeModalWidget();) {
    if (modal == last || !modal->close()) break;
    last = modal;
  }
  if (!window_) return;  // start-up is still running; SetWindow closes it
  window_->close();
  QCoreApplication::exit(0);
}

}  // namespace kestrune
