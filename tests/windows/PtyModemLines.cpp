// A test-only library that wine is started with (LD_PRELOAD) when it is to
// drive a pseudo-terminal as a COM port.
//
// Why it exists: a pseudo-terminal has no modem lines, so the ioctls for them
// (TIOCMGET, TIOCMSET, TIOCMBIS, TIOCMBIC) fail with ENOTTY or EINVAL. Wine
// turns those failures into Windows errors: EscapeCommFunction and
// GetCommModemStatus fail with error 50 (ERROR_NOT_SUPPORTED), and its
// WaitCommEvent, which reads the modem lines when it starts waiting, ends at
// once with error 995 (ERROR_OPERATION_ABORTED). A real serial port has the
// lines, and Windows answers all three; the Windows backend of the port is
// written for that. So that its real code paths run under wine against the
// simulated radio, this library answers the four ioctls on pseudo-terminal
// descriptors from a remembered line state when the system refuses them. The
// inputs are wired back to the outputs as on a loop-back plug (DTR to DSR and
// CD, RTS to CTS), so a test can see the outputs it set through the inputs
// it reads. Both outputs start high, as a terminal's open leaves them. Every
// other call, and every call on another kind of device, goes to the system
// unchanged.
#include <dlfcn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>

namespace {

using IoctlCall = int (*)(int, unsigned long, ...);

IoctlCall RealIoctl() {
  static const IoctlCall real = reinterpret_cast<IoctlCall>(dlsym(RTLD_NEXT, "ioctl"));
  return real;
}

// Unix98 pseudo-terminal slaves have the majors 136 to 143.
bool IsPseudoTerminal(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  const unsigned int kind = major(st.st_rdev);
  return kind >= 136 && kind <= 143;
}

constexpr int kOutputs = TIOCM_DTR | TIOCM_RTS;

std::atomic<int> outputs{kOutputs};

int LinesLooped(int set) {
  int lines = set;
  if (set & TIOCM_DTR) lines |= TIOCM_DSR | TIOCM_CAR;
  if (set & TIOCM_RTS) lines |= TIOCM_CTS;
  return lines;
}

bool IsModemLineRequest(unsigned long request) {
  return request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC;
}

int Answer(unsigned long request, int* value) {
  switch (request) {
    case TIOCMGET: *value = LinesLooped(outputs.load()); break;
    case TIOCMSET: outputs = *value & kOutputs; break;
    case TIOCMBIS: outputs |= *value & kOutputs; break;
    case TIOCMBIC: outputs &= ~(*value & kOutputs); break;
    default: break;
  }
  return 0;
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) {
  va_list args;
  va_start(args, request);
  void* argument = va_arg(args, void*);
  va_end(args);
  const int saved = errno;
  const int result = RealIoctl()(fd, request, argument);
  if (result == 0 || !IsModemLineRequest(request) || argument == nullptr) return result;
  if ((errno != ENOTTY && errno != EINVAL) || !IsPseudoTerminal(fd)) return result;
  errno = saved;
  return Answer(request, static_cast<int*>(argument));
}
