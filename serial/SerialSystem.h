// The seam between TComPort and the operating system (POSIX backend).
//
// Every system call the port and its event thread make goes through one
// SerialSystem object, so that tests can inject failures (EINTR, EAGAIN, EIO,
// ENOTTY, ...) and modem-line states that a pseudo-terminal cannot show.
//
// The base class IS the real system: each member makes the call named beside
// it and returns what the call returns (-1 with errno set on failure). A test
// derives from it and overrides only what it needs; everything else still
// reaches the real device, so a pseudo-terminal keeps working underneath.
//
//   struct FailingReads : kestrune::SerialSystem {
//     ssize_t Read(int fd, void* buf, size_t n) override {
//       errno = EIO;
//       return -1;
//     }
//   };
//   kestrune::TComPort port(std::make_shared<FailingReads>());
//
// For modem lines (DTR, RTS, CTS) see SimulatedModemLines.h, a ready-made
// system that keeps the lines in memory and can report CTS active.
//
// The event thread and the GUI thread call into the same object at the same
// time; an override must be safe for that (the real calls are).
#pragma once

#include <poll.h>
#include <sys/types.h>
#include <termios.h>

#include <cstddef>
#include <cstdint>
#include <memory>

struct serial_struct;  // <linux/serial.h>

namespace kestrune {

class SerialSystem {
 public:
  virtual ~SerialSystem() = default;

  virtual int Open(const char* path, int flags);                 // open
  virtual int Close(int fd);                                     // close
  virtual ssize_t Read(int fd, void* buf, size_t n);             // read
  virtual ssize_t Write(int fd, const void* buf, size_t n);      // write
  virtual int Poll(pollfd* fds, nfds_t count, int timeoutMs);    // poll
  virtual int Lock(int fd, int operation);                       // flock
  virtual int SetExclusive(int fd);                              // ioctl TIOCEXCL
  virtual int ClearExclusive(int fd);                            // ioctl TIOCNXCL
  virtual int GetAttributes(int fd, termios* attributes);        // tcgetattr
  virtual int SetAttributes(int fd, const termios* attributes);  // tcsetattr TCSANOW
  // A rate that has no Bnnn constant (ioctl TCSETS2 with BOTHER); the rest of
  // the line settings are kept as they are.
  virtual int SetCustomBaud(int fd, uint32_t baud);
  virtual int Flush(int fd, int queues);           // tcflush
  virtual int Drain(int fd);                       // tcdrain
  virtual int GetModemLines(int fd, int* lines);   // ioctl TIOCMGET
  virtual int SetModemLines(int fd, int lines);    // ioctl TIOCMBIS
  virtual int ClearModemLines(int fd, int lines);  // ioctl TIOCMBIC
  // The driver's serial settings (ioctl TIOCGSERIAL, TIOCSSERIAL), through
  // which Open asks for ASYNC_LOW_LATENCY. Pseudo-terminals and many drivers
  // refuse with ENOTTY or EINVAL.
  virtual int GetSerialInfo(int fd, serial_struct* info);
  virtual int SetSerialInfo(int fd, const serial_struct* info);
  // The descriptor Close uses to wake the event thread (eventfd).
  virtual int CreateWakeDescriptor();

  // A descriptor that becomes readable when a modem input line (CTS) changes,
  // or -1 when changes are not reported. The real system reports none: the
  // port raises OnDataReadEvent only, never OnCTSEvent. TakeModemChange is
  // called by the event thread after the descriptor was readable and must
  // make it unreadable again until the next change.
  virtual int ModemChangeDescriptor();
  virtual void TakeModemChange();
};

// The real system, shared by every port that is given no other.
std::shared_ptr<SerialSystem> RealSerialSystem();

}  // namespace kestrune
