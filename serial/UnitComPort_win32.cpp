// TComPort on the Windows serial communications API. The device is opened for
// overlapped I/O; every operation that can be left pending (the event
// thread's WaitCommEvent, SendPacket's write, ReadData's read) has a
// completion object of its own, so that operations running on the two
// threads at once never share one.
#include <windows.h>

#include <string>

#include "serial/ComEventThread.h"
#include "serial/ComPortBackend.h"
#include "serial/UnitComPort.h"

namespace kestrune {
namespace {

// serial/ is below console/core, so it keeps its own two conversions rather
// than reach up to console/core/WideText.h.
std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

std::string Narrow(const wchar_t* text, int length) {
  if (length <= 0) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, narrow.data(), size, nullptr, nullptr);
  return narrow;
}

std::wstring DeviceFileName(const std::string& portName) {
  return Widen(ComDeviceFileName(portName));
}

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// One overlapped operation of the calling thread: its record and its event.
class Completion {
 public:
  Completion() : overlapped_{} { overlapped_.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
  ~Completion() {
    if (overlapped_.hEvent) CloseHandle(overlapped_.hEvent);
  }
  Completion(const Completion&) = delete;
  Completion& operator=(const Completion&) = delete;

  bool Ready() const { return overlapped_.hEvent != nullptr; }
  OVERLAPPED* Record() { return &overlapped_; }

  // Waits for an operation that was left pending; its record must not go
  // away while the system may still write into it.
  bool Finish(HANDLE device, DWORD& count) {
    return GetOverlappedResult(device, &overlapped_, &count, TRUE) != 0;
  }

 private:
  OVERLAPPED overlapped_;
};

}  // namespace

TComPort::TComPort() : TComPort(nullptr) {}

TComPort::TComPort(std::shared_ptr<SerialSystem> system) : FSystem(std::move(system)) {}

std::string TComPort::SystemMessage(int code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string message = Narrow(buffer, static_cast<int>(length));
  if (buffer) LocalFree(buffer);
  return TrimSystemMessage(std::move(message));
}

int TComPort::LastSystemError() { return static_cast<int>(GetLastError()); }

int TComPort::BusyErrorCode() { return ERROR_ACCESS_DENIED; }

int TComPort::IoErrorCode() { return ERROR_GEN_FAILURE; }

// Leaves a device held when a later step fails, as the state table has it;
// Close releases it.
bool TComPort::OpenDevice() {
  if (FHandle == -1) {
    const HANDLE device =
        CreateFileW(DeviceFileName(FPortName).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
      LogError("Cannot open " + FPortName, LastSystemError());
      return false;
    }
    FHandle = reinterpret_cast<intptr_t>(device);
  }
  const HANDLE device = AsHandle(FHandle);
  COMMTIMEOUTS timeouts{};
  if (!GetCommTimeouts(device, &timeouts)) {
    LogError("PORT_ERROR_GET_TIMEOUTS", LastSystemError());
    return false;
  }
  // Reads return at once with what has arrived; writes have no time-out.
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.WriteTotalTimeoutMultiplier = 0;
  timeouts.WriteTotalTimeoutConstant = 0;
  if (!SetCommTimeouts(device, &timeouts)) {
    LogError("PORT_ERROR_SET_TIMEOUTS", LastSystemError());
    return false;
  }
  if (!SetupComm(device, 1200, 1200)) {
    LogError("PORT_ERROR_SETUP", LastSystemError());
    return false;
  }
  if (!PurgeComm(device, PURGE_TXCLEAR | PURGE_RXCLEAR)) {
    LogError("PORT_ERROR_PURGE", LastSystemError());
    return false;
  }
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(device, &errors, &status)) {
    LogError("PORT_ERROR_CLEAR_ERROR", LastSystemError());
    return false;
  }
  return true;
}

// Failures are logged twice, as the engine's port set-up expects: once with
// code and text, once bare. They do not fail Open.
void TComPort::SetupDcb(int32_t BaudRate, int32_t Bits, int32_t StopBits, int32_t ParityIndex) {
  if (!FIsOpen) {
    LogMessage(LastError());
    return;
  }
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetDcb(dcb)) {
    LogMessage(LastError());
    return;
  }
  dcb.BaudRate = static_cast<DWORD>(BaudRate);
  dcb.ByteSize = static_cast<BYTE>(Bits);
  dcb.StopBits = static_cast<BYTE>(StopBits);   // 0 one, 1 one and a half, 2 two
  dcb.Parity = static_cast<BYTE>(ParityIndex);  // 0 none, 1 odd, 2 even, 3 mark, 4 space
  dcb.fParity = ParityIndex != 0 ? 1 : 0;
  dcb.fBinary = 1;
  dcb.fTXContinueOnXoff = 1;
  dcb.fOutxCtsFlow = 0;
  dcb.fOutxDsrFlow = 0;
  dcb.fDsrSensitivity = 0;
  dcb.fOutX = 0;
  dcb.fInX = 0;
  dcb.fErrorChar = 0;
  dcb.fNull = 0;
  dcb.fAbortOnError = 0;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  if (!SetDcb(dcb)) {
    LogMessage(LastError());
    return;
  }
  SetDtrState(false);
}

bool TComPort::GetDcb(_DCB& dcb) {
  SetLastError("");
  if (FHandle == -1) {
    LogError("PORT_ERROR_NOT_OPEN", LastSystemError());
    return false;
  }
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(AsHandle(FHandle), &dcb)) {
    LogError("PORT_ERROR_GET_STATE", LastSystemError());
    return false;
  }
  return true;
}

bool TComPort::SetDcb(const _DCB& dcb) {
  DCB copy = dcb;
  if (!SetCommState(AsHandle(FHandle), &copy)) {
    LogError("PORT_ERROR_SET_STATE", LastSystemError());
    return false;
  }
  return true;
}

// The line change's own result is ignored: a port whose driver cannot drive
// DTR still carries data.
void TComPort::SetDtrState(bool state) {
  DCB dcb{};
  if (!GetDcb(dcb)) return;
  if (dcb.fDtrControl & 2) return;  // the DTR handshake owns the line
  EscapeCommFunction(AsHandle(FHandle), state ? SETDTR : CLRDTR);
}

void TComPort::SetRtsState(bool state) {
  DCB dcb{};
  if (!GetDcb(dcb)) return;
  if (dcb.fRtsControl & 2) return;  // handshake or toggle owns the line
  EscapeCommFunction(AsHandle(FHandle), state ? SETRTS : CLRRTS);
}

bool TComPort::GetCtsState(bool& state) {
  SetLastError("");
  state = false;
  if (FHandle == -1) {
    LogError("PORT_ERROR_NOT_OPEN", LastSystemError());
    return false;
  }
  DWORD status = 0;
  if (!GetCommModemStatus(AsHandle(FHandle), &status)) return false;
  state = (status & MS_CTS_ON) != 0;
  return true;
}

void TComPort::Purge() {
  SetLastError("");
  if (FHandle == -1) {
    LogError("PORT_ERROR_PURGE", LastSystemError());
    return;
  }
  PurgeComm(AsHandle(FHandle), PURGE_TXCLEAR | PURGE_RXCLEAR);
}

bool TComPort::SetTimeouts(uint32_t baud) {
  SetLastError("");
  if (FHandle == -1) {
    LogError("PORT_ERROR_HANDLE", LastSystemError());
    return false;
  }
  COMMTIMEOUTS timeouts{};
  if (!GetCommTimeouts(AsHandle(FHandle), &timeouts)) {
    LogError("PORT_ERROR_GET_TIMEOUTS", LastSystemError());
    return false;
  }
  if (baud == 0) {  // no bit period to speak of
    LogError("PORT_ERROR_SET_TIMEOUTS", ERROR_INVALID_PARAMETER);
    return false;
  }
  timeouts.WriteTotalTimeoutMultiplier = WriteTimeoutMultiplier(baud);
  timeouts.WriteTotalTimeoutConstant = 40;
  if (!SetCommTimeouts(AsHandle(FHandle), &timeouts)) {
    LogError("PORT_ERROR_SET_TIMEOUTS", LastSystemError());
    return false;
  }
  return true;
}

// The write is waited for before the flush: its completion object lives on
// this call's stack, and a write cut short by a time-out is a failed write,
// not a packet on the line.
bool TComPort::SendPacket(const uint8_t* buf, uint32_t len) {
  SetLastError("");
  if (FHandle == -1) {
    LogError("PORT_ERROR_HANDLE", LastSystemError());
    return false;
  }
  const HANDLE device = AsHandle(FHandle);
  Completion write;
  if (!write.Ready()) {
    LogError("PORT_ERROR_WRITE", LastSystemError());
    return false;
  }
  DWORD written = 0;
  if (!WriteFile(device, buf, len, &written, write.Record())) {
    const int code = LastSystemError();
    if (code != ERROR_IO_PENDING) {
      LogError("PORT_ERROR_WRITE", code);
      return false;
    }
    if (!write.Finish(device, written)) {
      LogError("PORT_ERROR_WRITE", LastSystemError());
      return false;
    }
  }
  if (written != len) {
    LogError("PORT_ERROR_WRITE", ERROR_TIMEOUT);
    return false;
  }
  if (!FlushFileBuffers(device)) {
    LogError("PORT_ERROR_FLUSH", LastSystemError());
    return false;
  }
  return true;
}

// With ReadIntervalTimeout MAXDWORD a read ends at once with what is queued,
// so waiting for a pending one does not block.
void TComPort::ReadData(std::vector<uint8_t>& buf, int32_t& count) {
  SetLastError("");
  if (FHandle == -1) {
    LogError("PORT_ERROR_HANDLE", LastSystemError());
    return;
  }
  count = 0;
  if (buf.empty()) return;
  const HANDLE device = AsHandle(FHandle);
  Completion read;
  if (!read.Ready()) return;
  DWORD got = 0;
  if (!ReadFile(device, buf.data(), static_cast<DWORD>(buf.size()), &got, read.Record())) {
    if (GetLastError() != ERROR_IO_PENDING || !read.Finish(device, got)) return;
  }
  count = static_cast<int32_t>(got);
}

// The wake event (for the hook setters and Close) and the event thread's
// own completion object; then received characters are asked for.
bool TComPort::CreateWakeHandle() {
  if (!FWakeEvent) FWakeEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!FWakeEvent) return false;
  if (!FWaitOv) {
    FWaitOv = new OVERLAPPED{};
    FWaitOv->hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }
  FWaitPending = false;
  if (!FWaitOv->hEvent) return false;
  return SetCommMask(AsHandle(FHandle), EV_RXCHAR) != 0;
}

// Once Close has asked the thread to stop, clearing the event mask completes
// its pending WaitCommEvent.
void TComPort::WakeEventThread() {
  if (FStopRequested && FHandle != -1) SetCommMask(AsHandle(FHandle), 0);
  if (FWakeEvent) SetEvent(FWakeEvent);
}

// Bytes already queued are reported without a wait: EV_RXCHAR is raised when
// a character arrives, not while characters wait, and a hook may have left
// some unread.
TComPort::TWaitResult TComPort::WaitForEvent(bool watchDevice) {
  TWaitResult result;
  if (FStopRequested) {
    result.stop = true;
    return result;
  }
  const HANDLE device = AsHandle(FHandle);
  HANDLE handles[2]{FWakeEvent, nullptr};
  DWORD count = 1;
  if (watchDevice) {
    if (!FWaitPending) {
      DWORD errors = 0;
      COMSTAT status{};
      if (ClearCommError(device, &errors, &status) && status.cbInQue > 0) {
        result.dataArrived = true;
        return result;
      }
      FEventMask = 0;
      ResetEvent(FWaitOv->hEvent);
      if (WaitCommEvent(device, &FEventMask, FWaitOv)) {
        result.dataArrived = (FEventMask & EV_RXCHAR) != 0;
        return result;
      }
      const int code = LastSystemError();
      if (code != ERROR_IO_PENDING) {
        result.stop = FStopRequested;
        result.error = result.stop ? 0 : code;
        return result;
      }
      FWaitPending = true;
    }
    handles[count++] = FWaitOv->hEvent;
  }
  const DWORD woken = WaitForMultipleObjects(count, handles, FALSE, INFINITE);
  if (woken == WAIT_FAILED) {
    result.error = LastSystemError();
    return result;
  }
  if (FStopRequested) {
    result.stop = true;
    return result;
  }
  if (woken == WAIT_OBJECT_0 + 1) {
    DWORD unused = 0;
    if (GetOverlappedResult(device, FWaitOv, &unused, FALSE)) {
      FWaitPending = false;
      result.dataArrived = (FEventMask & EV_RXCHAR) != 0;
      return result;
    }
    const int code = LastSystemError();
    // ERROR_IO_INCOMPLETE says the wait has not completed yet, whatever the
    // event showed: it is still pending, not failed, and the next round
    // reads its result.
    if (code == ERROR_IO_INCOMPLETE) return result;
    FWaitPending = false;
    result.error = code;
  }
  return result;
}

void TComPort::DiscardQueues() {
  PurgeComm(AsHandle(FHandle), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
}

// The event thread has ended; a WaitCommEvent it left pending is completed
// (the mask was cleared) before its record goes away.
void TComPort::CloseHandles() {
  if (FHandle != -1) {
    const HANDLE device = AsHandle(FHandle);
    if (FWaitPending) {
      SetCommMask(device, 0);
      DWORD unused = 0;
      GetOverlappedResult(device, FWaitOv, &unused, TRUE);
      FWaitPending = false;
    }
    CloseHandle(device);
    FHandle = -1;
  }
  if (FWaitOv) {
    if (FWaitOv->hEvent) CloseHandle(FWaitOv->hEvent);
    delete FWaitOv;
    FWaitOv = nullptr;
  }
  if (FWakeEvent) {
    CloseHandle(FWakeEvent);
    FWakeEvent = nullptr;
  }
}

}  // namespace kestrune
