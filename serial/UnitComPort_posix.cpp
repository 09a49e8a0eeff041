// TComPort on POSIX terminals (termios), Linux flavour. Every system call goes
// through FSystem. errno and strerror stand in for the Windows error code and
// its message text in the log lines.
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "serial/ComEventThread.h"
#include "serial/ComPortBackend.h"
#include "serial/SerialDevices.h"
#include "serial/SerialSystem.h"
#include "serial/UnitComPort.h"

namespace kestrune {
namespace {

// Repeats a system call that a signal interrupted.
template <typename Call>
auto RetryInterrupted(Call call) {
  for (;;) {
    const auto result = call();
    if (result != -1 || errno != EINTR) return result;
  }
}

// The Bnnn constant for a rate, or B0 when there is none.
speed_t StandardSpeed(int32_t baud) {
  switch (baud) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    case 1152000: return B1152000;
    case 1500000: return B1500000;
    case 2000000: return B2000000;
    case 2500000: return B2500000;
    case 3000000: return B3000000;
    case 3500000: return B3500000;
    case 4000000: return B4000000;
    default: return B0;
  }
}

// Raw 8-bit line, no flow control, reads that return at once with whatever
// has arrived. False for values no terminal can take.
bool ComposeLineSettings(termios& t, int32_t baud, int32_t bits, int32_t stopBits, int32_t parity) {
  static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  if (baud <= 0 || bits < 5 || bits > 8 || stopBits < 0 || stopBits > 2 || parity < 0 ||
      parity > 4) {
    return false;
  }
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                      IXON | IXOFF | IXANY | INPCK | IGNPAR);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  t.c_cflag |= CREAD | CLOCAL | kSizes[bits - 5];
  // Terminals know one or two stop bits; one and a half (index 1) is sent as two.
  if (stopBits != 0) t.c_cflag |= CSTOPB;
  switch (parity) {
    case 1: t.c_cflag |= PARENB | PARODD; break;           // odd
    case 2: t.c_cflag |= PARENB; break;                    // even
    case 3: t.c_cflag |= PARENB | CMSPAR | PARODD; break;  // mark
    case 4: t.c_cflag |= PARENB | CMSPAR; break;           // space
    default: break;
  }
  if (parity != 0) t.c_iflag |= INPCK;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  // A rate without a constant is set afterwards through termios2; until then
  // the line keeps a placeholder rate.
  const speed_t speed = StandardSpeed(baud) != B0 ? StandardSpeed(baud) : B38400;
  cfsetispeed(&t, speed);
  cfsetospeed(&t, speed);
  return true;
}

}  // namespace

TComPort::TComPort() : TComPort(RealSerialSystem()) {}

TComPort::TComPort(std::shared_ptr<SerialSystem> system)
    : FSystem(system ? std::move(system) : RealSerialSystem()) {}

std::string TComPort::SystemMessage(int code) {
  char buffer[256];
  return TrimSystemMessage(strerror_r(code, buffer, sizeof buffer));
}

int TComPort::LastSystemError() { return errno; }

int TComPort::BusyErrorCode() { return EBUSY; }

int TComPort::IoErrorCode() { return EIO; }

// Leaves a device held when a later step fails, as the state table has it;
// Close releases it.
bool TComPort::OpenDevice() {
  if (FHandle < 0) {
    const std::string path = ResolveSerialDevice(FPortName);
    const int fd = RetryInterrupted(
        [&] { return FSystem->Open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); });
    if (fd < 0) {
      LogError("Cannot open " + FPortName, errno);
      return false;
    }
    // TIOCEXCL turns away other opens, but not root's; the lock turns away
    // everyone who asks for it, root included.
    int code = 0;
    if (FSystem->Lock(fd, LOCK_EX | LOCK_NB) != 0) {
      code = errno == EWOULDBLOCK ? EBUSY : errno;
    } else if (FSystem->SetExclusive(fd) != 0) {
      code = errno;
    }
    if (code != 0) {
      FSystem->Close(fd);
      LogError("Cannot open " + FPortName, code);
      return false;
    }
    FHandle = fd;
    RequestLowLatency();
  }
  termios t{};
  if (FSystem->GetAttributes(FHandle, &t) != 0) {
    LogError("PORT_ERROR_GET_TIMEOUTS", errno);
    return false;
  }
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  if (RetryInterrupted([&] { return FSystem->SetAttributes(FHandle, &t); }) != 0) {
    LogError("PORT_ERROR_SET_TIMEOUTS", errno);
    return false;
  }
  FWriteTimeoutMultiplier = 0;
  FWriteTimeoutConstant = 0;
  // The driver sizes its own queues, and line errors arrive in-band: nothing
  // here matches SetupComm and ClearCommError.
  if (FSystem->Flush(FHandle, TCIOFLUSH) != 0) {
    LogError("PORT_ERROR_PURGE", errno);
    return false;
  }
  return true;
}

// USB-serial drivers otherwise hold received bytes for up to 16 ms before
// handing them on. Only a wish: a driver that refuses (ptys answer ENOTTY,
// some drivers EINVAL) leaves the line as it is, and nothing is logged.
void TComPort::RequestLowLatency() {
  serial_struct info{};
  if (FSystem->GetSerialInfo(static_cast<int>(FHandle), &info) != 0) return;
  if (info.flags & ASYNC_LOW_LATENCY) return;
  info.flags |= ASYNC_LOW_LATENCY;
  FSystem->SetSerialInfo(static_cast<int>(FHandle), &info);
}

// Failures are logged twice, as the engine's port set-up expects: once with
// code and text, once bare. They do not fail Open.
void TComPort::SetupDcb(int32_t BaudRate, int32_t Bits, int32_t StopBits, int32_t ParityIndex) {
  if (!FIsOpen) {
    LogMessage(LastError());
    return;
  }
  termios dcb{};
  if (!GetDcb(dcb)) {
    LogMessage(LastError());
    return;
  }
  if (!ComposeLineSettings(dcb, BaudRate, Bits, StopBits, ParityIndex)) {
    LogError("PORT_ERROR_SET_STATE", EINVAL);
    LogMessage(LastError());
    return;
  }
  if (!SetDcb(dcb, BaudRate)) {
    LogMessage(LastError());
    return;
  }
  // Opening a terminal raises both DTR and RTS. The line has no RTS
  // handshake, so RTS goes low with DTR: an interface adapter keyed or
  // powered from RTS sees the level the radio expects.
  SetDtrState(false);
  SetRtsState(false);
}

bool TComPort::GetDcb(termios& dcb) {
  SetLastError("");
  if (FHandle < 0) {
    LogError("PORT_ERROR_NOT_OPEN", 0);
    return false;
  }
  if (FSystem->GetAttributes(FHandle, &dcb) != 0) {
    LogError("PORT_ERROR_GET_STATE", errno);
    return false;
  }
  return true;
}

bool TComPort::SetDcb(const termios& dcb, int32_t BaudRate) {
  const bool custom = StandardSpeed(BaudRate) == B0;
  if (RetryInterrupted([&] { return FSystem->SetAttributes(FHandle, &dcb); }) != 0 ||
      (custom && FSystem->SetCustomBaud(FHandle, static_cast<uint32_t>(BaudRate)) != 0)) {
    LogError("PORT_ERROR_SET_STATE", errno);
    return false;
  }
  return true;
}

// Pseudo-terminals have no modem lines and answer ENOTTY; like every other
// failure of the line change itself, that is ignored.
void TComPort::SetDtrState(bool state) {
  termios dcb{};
  if (!GetDcb(dcb)) return;
  // termios has no DTR handshake that could own the line.
  if (state) {
    FSystem->SetModemLines(FHandle, TIOCM_DTR);
  } else {
    FSystem->ClearModemLines(FHandle, TIOCM_DTR);
  }
}

void TComPort::SetRtsState(bool state) {
  termios dcb{};
  if (!GetDcb(dcb)) return;
  if (dcb.c_cflag & CRTSCTS) return;  // the RTS handshake owns the line
  if (state) {
    FSystem->SetModemLines(FHandle, TIOCM_RTS);
  } else {
    FSystem->ClearModemLines(FHandle, TIOCM_RTS);
  }
}

// False (and nothing logged) when the line cannot be read, which includes a
// pseudo-terminal's ENOTTY: such a port has no busy line.
bool TComPort::GetCtsState(bool& state) {
  SetLastError("");
  state = false;
  if (FHandle < 0) {
    LogError("PORT_ERROR_NOT_OPEN", 0);
    return false;
  }
  int lines = 0;
  if (FSystem->GetModemLines(FHandle, &lines) != 0) return false;
  state = (lines & TIOCM_CTS) != 0;
  return true;
}

void TComPort::Purge() {
  SetLastError("");
  if (FHandle < 0) {
    LogError("PORT_ERROR_PURGE", 0);
    return;
  }
  FSystem->Flush(FHandle, TCIOFLUSH);
}

// Terminals have no write time-outs; the port keeps them and SendPacket
// applies them while it waits for room in the driver.
bool TComPort::SetTimeouts(uint32_t baud) {
  SetLastError("");
  if (FHandle < 0) {
    LogError("PORT_ERROR_HANDLE", 0);
    return false;
  }
  termios t{};
  if (FSystem->GetAttributes(FHandle, &t) != 0) {
    LogError("PORT_ERROR_GET_TIMEOUTS", errno);
    return false;
  }
  if (baud == 0) {  // no bit period to speak of
    LogError("PORT_ERROR_SET_TIMEOUTS", EINVAL);
    return false;
  }
  FWriteTimeoutMultiplier = WriteTimeoutMultiplier(baud);
  FWriteTimeoutConstant = 40;
  return true;
}

bool TComPort::SendPacket(const uint8_t* buf, uint32_t len) {
  SetLastError("");
  if (FHandle < 0) {
    LogError("PORT_ERROR_HANDLE", 0);
    return false;
  }
  int code = 0;
  if (!WriteAll(buf, len, code)) {
    LogError("PORT_ERROR_WRITE", code);
    return false;
  }
  if (RetryInterrupted([&] { return FSystem->Drain(FHandle); }) != 0) {
    LogError("PORT_ERROR_FLUSH", errno);
    return false;
  }
  return true;
}

bool TComPort::WriteAll(const uint8_t* buf, uint32_t len, int& code) {
  using Clock = std::chrono::steady_clock;
  const bool bounded = FWriteTimeoutMultiplier != 0 || FWriteTimeoutConstant != 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(
                                           static_cast<uint64_t>(FWriteTimeoutMultiplier) * len +
                                           FWriteTimeoutConstant);
  uint32_t done = 0;
  while (done < len) {
    const ssize_t n = FSystem->Write(FHandle, buf + done, len - done);
    if (n > 0) {
      done += static_cast<uint32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || errno != EAGAIN) {
      code = n == 0 ? EIO : errno;
      return false;
    }
    int timeoutMs = -1;
    if (bounded) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      timeoutMs = static_cast<int>(std::max<int64_t>(left.count(), 0));
    }
    if (!WaitWritable(timeoutMs, code)) return false;
  }
  return true;
}

// True when the driver has room again (or a signal cut the wait short).
bool TComPort::WaitWritable(int timeoutMs, int& code) {
  pollfd device{static_cast<int>(FHandle), POLLOUT, 0};
  const int ready = FSystem->Poll(&device, 1, timeoutMs);
  if (ready < 0) {
    if (errno == EINTR) return true;
    code = errno;
    return false;
  }
  if (ready == 0) {
    code = ETIMEDOUT;
    return false;
  }
  if (device.revents & (POLLERR | POLLHUP | POLLNVAL)) {
    code = EIO;
    return false;
  }
  return true;
}

// With VMIN and VTIME 0 a terminal read returns 0 when nothing is waiting; a
// device that went away answers with an error (EIO for a pseudo-terminal
// whose far end closed, EIO or ENODEV for an unplugged adapter).
void TComPort::ReadData(std::vector<uint8_t>& buf, int32_t& count) {
  SetLastError("");
  if (FHandle < 0) {
    LogError("PORT_ERROR_HANDLE", 0);
    return;
  }
  count = 0;
  if (buf.empty()) return;
  const ssize_t n =
      RetryInterrupted([&] { return FSystem->Read(FHandle, buf.data(), buf.size()); });
  if (n > 0) {
    count = static_cast<int32_t>(n);
  } else if (n < 0 && errno != EAGAIN) {
    NoteHangUp(errno);
  }
}

bool TComPort::CreateWakeHandle() {
  if (FWakeHandle < 0) FWakeHandle = FSystem->CreateWakeDescriptor();
  return FWakeHandle >= 0;
}

void TComPort::WakeEventThread() {
  const uint64_t one = 1;
  // The counter cannot overflow in practice; a full one would still wake.
  FSystem->Write(FWakeHandle, &one, sizeof one);
}

TComPort::TWaitResult TComPort::WaitForEvent(bool watchDevice) {
  TWaitResult result;
  pollfd fds[3];
  nfds_t count = 0;
  fds[count++] = {FWakeHandle, POLLIN, 0};
  const int modemFd = FSystem->ModemChangeDescriptor();
  pollfd* modem = nullptr;
  pollfd* device = nullptr;
  if (modemFd >= 0) {
    modem = &fds[count];
    fds[count++] = {modemFd, POLLIN, 0};
  }
  if (watchDevice) {
    device = &fds[count];
    fds[count++] = {static_cast<int>(FHandle), POLLIN, 0};
  }
  if (FStopRequested) {
    result.stop = true;
    return result;
  }
  if (FSystem->Poll(fds, count, -1) < 0) {
    if (errno != EINTR) result.error = errno;
    return result;
  }
  if (fds[0].revents & POLLIN) {
    uint64_t wakes = 0;
    FSystem->Read(FWakeHandle, &wakes, sizeof wakes);
  }
  if (FStopRequested) {
    result.stop = true;
    return result;
  }
  if (modem && (modem->revents & POLLIN)) {
    FSystem->TakeModemChange();
    result.modemChanged = true;
  }
  if (device) {
    result.dataArrived = (device->revents & POLLIN) != 0;
    result.hungUp = (device->revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
  }
  return result;
}

void TComPort::DiscardQueues() { FSystem->Flush(FHandle, TCIOFLUSH); }

void TComPort::CloseHandles() {
  if (FHandle >= 0) {
    FSystem->ClearExclusive(FHandle);
    FSystem->Close(FHandle);  // also drops the lock
    FHandle = -1;
  }
  if (FWakeHandle >= 0) {
    FSystem->Close(FWakeHandle);
    FWakeHandle = -1;
  }
}

}  // namespace kestrune
