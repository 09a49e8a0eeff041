#include "serial/SimulatedModemLines.h"

#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdint>

namespace kestrune {

SimulatedModemLines::SimulatedModemLines() : FChangeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

SimulatedModemLines::~SimulatedModemLines() {
  if (FChangeFd >= 0) ::close(FChangeFd);
}

void SimulatedModemLines::SetCts(bool active) {
  if (active) {
    FLines |= TIOCM_CTS;
  } else {
    FLines &= ~TIOCM_CTS;
  }
  SignalChange();
}

bool SimulatedModemLines::Cts() const { return (FLines & TIOCM_CTS) != 0; }
bool SimulatedModemLines::Dtr() const { return (FLines & TIOCM_DTR) != 0; }
bool SimulatedModemLines::Rts() const { return (FLines & TIOCM_RTS) != 0; }

int SimulatedModemLines::GetModemLines(int /*fd*/, int* lines) {
  *lines = FLines;
  return 0;
}

int SimulatedModemLines::SetModemLines(int /*fd*/, int lines) {
  FLines |= lines & (TIOCM_DTR | TIOCM_RTS);
  return 0;
}

int SimulatedModemLines::ClearModemLines(int /*fd*/, int lines) {
  FLines &= ~(lines & (TIOCM_DTR | TIOCM_RTS));
  return 0;
}

int SimulatedModemLines::ModemChangeDescriptor() { return FChangeFd; }

void SimulatedModemLines::TakeModemChange() {
  uint64_t count = 0;
  // Reading resets the eventfd's counter; nothing to do when it was already 0.
  [[maybe_unused]] const ssize_t n = ::read(FChangeFd, &count, sizeof count);
}

void SimulatedModemLines::SignalChange() {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(FChangeFd, &one, sizeof one);
}

}  // namespace kestrune
