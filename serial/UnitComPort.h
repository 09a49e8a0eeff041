// The serial line to the radio's bus: TComPort and its event thread.
//
// Thread contract
//   Open, Close, the destructor, Purge, SetDtrState, SetRtsState and
//   SendPacket are called on one thread (the GUI thread). The hooks run on the
//   port's event thread; ReadData and GetCtsState may be called from a hook.
//   LastError may be read from either thread. Once Close has begun no new hook
//   call starts; a call in progress is allowed to finish and Close waits for it.
//
//   The hooks are raised one at a time. OnDataReadEvent is raised while bytes
//   are waiting; a hook that leaves bytes unread is raised again at once. The
//   port reports no empty transmit queue, so OnDataWriteEvent is never raised;
//   OnCTSEvent is raised only when the serial system reports modem-line
//   changes (the real system does not; SimulatedModemLines does).
//   Close must not be called from a hook.
//
// The port never throws: a failure is a false result (where there is one), the
// text in LastError, and one line through the log callback in the form
//   <text> <code> : "<system text>"
// where the code and its text are errno and strerror on POSIX, GetLastError
// and the system message table on Windows (trailing blanks and full stops cut).
// Three lines come from the event thread, each at most once per Open:
//   PORT_ERROR_HANGUP <errno> : "<strerror text>"   the device went away
//       (adapter unplugged, far end of a pseudo-terminal closed); arrivals
//       are no longer reported, Close and a new Open work as usual.
//   PORT_ERROR_CALLBACK 0 : "<exception text>"   a hook or the log callback
//       threw; the port catches it and goes on. Should the log callback throw
//       on this line too, the line goes to stderr instead.
//   PORT_ERROR_WAIT <errno> : "<strerror text>"   the thread could not wait
//       for the device; it ends, and arrivals are no longer reported.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct termios;      // POSIX backend
struct _DCB;         // Windows backend
struct _OVERLAPPED;  // Windows backend

namespace kestrune {

// One finished log line.
using TLogProcedure = void (*)(const std::string& s);
// Bytes, their count, a direction ("TX" or "RX") and a description.
using TDumpProcedure = void (*)(const uint8_t* p, int32_t len, const std::string& dir,
                                const std::string& sig);

class TComPort;
class TComEventThread;
class SerialSystem;

// Hooks bound to an object; each receives the port that raises it.
using TOnDataReadEvent = std::function<void(TComPort& port)>;
using TOnDataWriteEvent = std::function<void(TComPort& port)>;
using TOnCTSEvent = std::function<void(TComPort& port)>;
// Raised once, on the event thread, right after the PORT_ERROR_HANGUP line.
using TOnHangUpEvent = std::function<void(TComPort& port)>;

class TComPort {
 public:
  TComPort();
  // For tests: every system call of the port goes through `system` (POSIX;
  // the Windows backend calls the system directly and ignores it).
  explicit TComPort(std::shared_ptr<SerialSystem> system);
  ~TComPort();  // runs Close
  TComPort(const TComPort&) = delete;
  TComPort& operator=(const TComPort&) = delete;

  void SetLogProc(TLogProcedure p);

  // PortName is "COM1".."COM4" (mapped through the device table, see
  // SerialDevices.h) or a device path. On Windows any "COMn" names the
  // system's port n (opened as \\.\COMn, so COM10 and up work too). StopBits: 0 one, 1 one and a
  // half, 2 two. ParityIndex: 0 none, 1 odd, 2 even, 3 mark, 4 space.
  bool Open(const std::string& PortName, int32_t BaudRate, int32_t Bits, int32_t StopBits,
            int32_t ParityIndex);
  void Close();

  void Purge();
  void SetDtrState(bool state);
  void SetRtsState(bool state);
  bool GetCtsState(bool& state);
  // Bounds the wait of each later SendPacket for room in the driver to
  // len * WriteTimeoutMultiplier(baud) + 40 ms. After Open there is no bound.
  bool SetTimeouts(uint32_t baud);

  // Writes all len bytes and returns once they have left the driver.
  bool SendPacket(const uint8_t* buf, uint32_t len);
  // Never blocks: copies up to buf.size() waiting bytes into buf; count is 0
  // when nothing is waiting.
  void ReadData(std::vector<uint8_t>& buf, int32_t& count);

  // The hooks. Setting them while the port is open is allowed.
  void SetOnDataReadEvent(TOnDataReadEvent hook);
  void SetOnDataWriteEvent(TOnDataWriteEvent hook);
  void SetOnCTSEvent(TOnCTSEvent hook);
  void SetOnHangUpEvent(TOnHangUpEvent hook);

  // The device: a descriptor on POSIX, a HANDLE on Windows; -1 (which is
  // INVALID_HANDLE_VALUE there) while none is held.
  intptr_t Handle() const;
  bool IsOpen() const;
  // True once the device went away (an unplugged adapter); it stays so until
  // the port is closed. Any thread.
  bool HungUp() const { return FHungUp.load(); }
  std::string LastError() const;
  // The system code that went with LastError (errno, GetLastError); 0 when
  // none did.
  int LastErrorCode() const { return FLastErrorCode.load(); }

  // How long SendPacket may wait for the driver to take bytes: the time of
  // 12 bit periods at `baud` in whole milliseconds, rounded up, per byte.
  // 9600 baud gives 2, 1200 gives 10.
  static uint32_t WriteTimeoutMultiplier(uint32_t baud);

 private:
  friend class TComEventThread;

  // What one wait of the event thread found.
  struct TWaitResult {
    bool stop = false;          // Close asked the thread to end
    bool dataArrived = false;   // bytes are waiting
    bool modemChanged = false;  // a modem input line changed
    bool hungUp = false;        // the device went away
    int error = 0;              // system code of a failed wait; the thread ends
  };

  // Platform-free front (UnitComPort.cpp).
  void LogMessage(const std::string& text);
  void LogError(const std::string& text, int code);
  void SetLastError(const std::string& text);
  void EnableHooks(bool enabled);
  bool HasReadHook();
  void RaiseHook(TOnDataReadEvent TComPort::*slot);  // the hook types are one type
  void RaiseDataRead();
  void RaiseCtsChanged();
  template <typename Hook>
  void CallHook(const Hook& hook);
  void ReportCallbackFailure(const std::string& what);
  void ReportHangUp();
  void NoteHangUp(int code);
  bool StartEventThread();
  void StopEventThread();

  // The backend (UnitComPort_posix.cpp or UnitComPort_win32.cpp) has these.
  static std::string SystemMessage(int code);
  static int LastSystemError();  // errno, or GetLastError
  static int BusyErrorCode();    // what a second open of a held device gives
  static int IoErrorCode();      // a device that went away without saying why
  bool OpenDevice();
  void SetupDcb(int32_t BaudRate, int32_t Bits, int32_t StopBits, int32_t ParityIndex);
  bool CreateWakeHandle();
  void WakeEventThread();
  TWaitResult WaitForEvent(bool watchDevice);
  void DiscardQueues();
  void CloseHandles();

  // POSIX backend only.
  bool GetDcb(termios& dcb);
  bool SetDcb(const termios& dcb, int32_t BaudRate);
  bool WriteAll(const uint8_t* buf, uint32_t len, int& code);
  bool WaitWritable(int timeoutMs, int& code);
  void RequestLowLatency();

  // Windows backend only.
  bool GetDcb(_DCB& dcb);
  bool SetDcb(const _DCB& dcb);

  std::shared_ptr<SerialSystem> FSystem;
  intptr_t FHandle = -1;  // the device; -1 while none is held
  int FWakeHandle = -1;   // POSIX: eventfd; Close and the hook setters wake the thread
  // Windows: the event the hook setters and Close set to wake the thread, and
  // the completion object of the event thread's WaitCommEvent (the write and
  // the read each have their own).
  void* FWakeEvent = nullptr;
  _OVERLAPPED* FWaitOv = nullptr;
  bool FWaitPending = false;
  unsigned long FEventMask = 0;
  std::atomic<bool> FIsOpen{false};
  std::string FPortName;
  std::atomic<TLogProcedure> FLogProc{nullptr};
  std::unique_ptr<TComEventThread> FEventThread;
  std::atomic<bool> FStopRequested{false};
  uint32_t FWriteTimeoutMultiplier = 0;  // ms per byte; 0 with the constant: none
  uint32_t FWriteTimeoutConstant = 0;    // ms

  mutable std::mutex FErrorLock;
  std::string FLastError;
  std::atomic<int> FLastErrorCode{0};

  std::mutex FHookLock;
  bool FHooksEnabled = true;
  TOnDataReadEvent OnDataReadEvent;
  TOnDataWriteEvent OnDataWriteEvent;
  TOnCTSEvent OnCTSEvent;
  TOnHangUpEvent OnHangUpEvent;

  std::atomic<bool> FHungUp{false};
  std::atomic<int> FHangUpCode{0};
  std::atomic<bool> FHangUpReported{false};
  std::atomic<bool> FCallbackFailureReported{false};
};

}  // namespace kestrune
