#include "tests/support/InProcessPorts.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "serial/SimulatedModemLines.h"

namespace kestrune::test {

namespace {

// A socket is no terminal: the line settings, the exclusive open and the
// queue calls have nothing to act on and succeed; DTR goes to the radio.
class InProcessSystem : public SimulatedModemLines {
 public:
  explicit InProcessSystem(sim::InProcessRadio& radio) : radio_(radio) {}

  int Open(const char* /*path*/, int /*flags*/) override { return ::dup(radio_.ProgramFd()); }
  // No SIGPIPE should the radio be gone; the port's wake-up descriptor is no
  // socket and takes a plain write.
  ssize_t Write(int fd, const void* buf, size_t n) override {
    const ssize_t sent = ::send(fd, buf, n, MSG_NOSIGNAL);
    return sent < 0 && errno == ENOTSOCK ? ::write(fd, buf, n) : sent;
  }
  int Lock(int /*fd*/, int /*operation*/) override { return 0; }
  int SetExclusive(int /*fd*/) override { return 0; }
  int ClearExclusive(int /*fd*/) override { return 0; }
  int GetAttributes(int /*fd*/, termios* attributes) override {
    *attributes = termios{};
    return 0;
  }
  int SetAttributes(int /*fd*/, const termios* /*attributes*/) override { return 0; }
  int SetCustomBaud(int /*fd*/, uint32_t /*baud*/) override { return 0; }
  int Flush(int /*fd*/, int /*queues*/) override { return 0; }
  int Drain(int /*fd*/) override { return 0; }
  int SetModemLines(int fd, int lines) override {
    const int result = SimulatedModemLines::SetModemLines(fd, lines);
    radio_.SetDtr(Dtr());
    return result;
  }
  int ClearModemLines(int fd, int lines) override {
    const int result = SimulatedModemLines::ClearModemLines(fd, lines);
    radio_.SetDtr(Dtr());
    return result;
  }

 private:
  sim::InProcessRadio& radio_;
};

}  // namespace

TSb9600::PortFactory InProcessPorts(sim::InProcessRadio& radio) {
  return [&radio] { return std::make_unique<TComPort>(std::make_shared<InProcessSystem>(radio)); };
}

}  // namespace kestrune::test
