// The platform-free half of TComPort: logging, the last error, the hooks and
// the life of the event thread. The device itself is handled by the backend
// file CMake picks for the platform (UnitComPort_posix.cpp or
// UnitComPort_win32.cpp), which also has the constructors.
#include "serial/UnitComPort.h"

#include <cmath>
#include <cstdio>
#include <exception>
#include <system_error>

#include "serial/ComEventThread.h"

namespace kestrune {

TComPort::~TComPort() { Close(); }

void TComPort::SetLogProc(TLogProcedure p) { FLogProc = p; }

bool TComPort::Open(const std::string& PortName, int32_t BaudRate, int32_t Bits, int32_t StopBits,
                    int32_t ParityIndex) {
  SetLastError("");
  if (FIsOpen) {
    // The device is ours already: refuse exactly as a second open of it would.
    LogError("Cannot open " + PortName, BusyErrorCode());
    return false;
  }
  FPortName = PortName;
  if (!OpenDevice()) return false;
  FIsOpen = true;
  SetupDcb(BaudRate, Bits, StopBits, ParityIndex);
  if (!StartEventThread()) {
    FIsOpen = false;
    return false;
  }
  return true;
}

void TComPort::Close() {
  EnableHooks(false);
  SetLastError("");
  if (FIsOpen.exchange(false)) {
    DiscardQueues();
    StopEventThread();
  }
  // A hook still running when Close began may have set a hook again.
  EnableHooks(false);
  CloseHandles();
}

void TComPort::SetOnDataReadEvent(TOnDataReadEvent hook) {
  {
    std::lock_guard<std::mutex> guard(FHookLock);
    OnDataReadEvent = std::move(hook);
  }
  // The thread does not watch the device while no one would read it.
  if (FIsOpen) WakeEventThread();
}

void TComPort::SetOnDataWriteEvent(TOnDataWriteEvent hook) {
  std::lock_guard<std::mutex> guard(FHookLock);
  OnDataWriteEvent = std::move(hook);
}

void TComPort::SetOnCTSEvent(TOnCTSEvent hook) {
  std::lock_guard<std::mutex> guard(FHookLock);
  OnCTSEvent = std::move(hook);
}

void TComPort::SetOnHangUpEvent(TOnHangUpEvent hook) {
  std::lock_guard<std::mutex> guard(FHookLock);
  OnHangUpEvent = std::move(hook);
}

intptr_t TComPort::Handle() const { return FHandle; }

bool TComPort::IsOpen() const { return FIsOpen; }

std::string TComPort::LastError() const {
  std::lock_guard<std::mutex> guard(FErrorLock);
  return FLastError;
}

uint32_t TComPort::WriteTimeoutMultiplier(uint32_t baud) {
  if (baud == 0) return 0;
  return static_cast<uint32_t>(std::ceil(1000.0f / (static_cast<float>(baud) / 12.0f)));
}

void TComPort::SetLastError(const std::string& text) {
  std::lock_guard<std::mutex> guard(FErrorLock);
  FLastError = text;
  FLastErrorCode = 0;
}

void TComPort::LogMessage(const std::string& text) {
  const TLogProcedure log = FLogProc;
  if (!log) return;
  try {
    log(text);
  } catch (const std::exception& e) {
    ReportCallbackFailure(e.what());
  } catch (...) {
    ReportCallbackFailure("unknown exception");
  }
}

void TComPort::LogError(const std::string& text, int code) {
  SetLastError(text);
  FLastErrorCode = code;
  LogMessage(text + " " + std::to_string(code) + " : \"" + SystemMessage(code) + "\"");
}

// Once per Open. The log callback may be what failed, so a second failure
// here sends the line to stderr rather than losing it.
void TComPort::ReportCallbackFailure(const std::string& what) {
  if (FCallbackFailureReported.exchange(true)) return;
  static const std::string kText = "PORT_ERROR_CALLBACK";
  SetLastError(kText);
  const std::string line = kText + " 0 : \"" + what + "\"";
  const TLogProcedure log = FLogProc;
  try {
    if (log) {
      log(line);
      return;
    }
  } catch (...) {
  }
  std::fprintf(stderr, "%s: %s\n", FPortName.c_str(), line.c_str());
}

void TComPort::EnableHooks(bool enabled) {
  std::lock_guard<std::mutex> guard(FHookLock);
  FHooksEnabled = enabled;
  if (!enabled) {
    OnDataReadEvent = nullptr;
    OnDataWriteEvent = nullptr;
    OnCTSEvent = nullptr;
    OnHangUpEvent = nullptr;
  }
}

bool TComPort::HasReadHook() {
  std::lock_guard<std::mutex> guard(FHookLock);
  return FHooksEnabled && OnDataReadEvent;
}

template <typename Hook>
void TComPort::CallHook(const Hook& hook) {
  if (!hook) return;
  try {
    hook(*this);
  } catch (const std::exception& e) {
    ReportCallbackFailure(e.what());
  } catch (...) {
    ReportCallbackFailure("unknown exception");
  }
}

// The hook is copied under the lock and called outside it, so a hook may set
// hooks itself; Close waits for a running hook by joining the thread.
void TComPort::RaiseHook(TOnDataReadEvent TComPort::*slot) {
  TOnDataReadEvent hook;
  {
    std::lock_guard<std::mutex> guard(FHookLock);
    if (!FHooksEnabled) return;
    hook = this->*slot;
  }
  CallHook(hook);
}

void TComPort::RaiseDataRead() { RaiseHook(&TComPort::OnDataReadEvent); }

void TComPort::RaiseCtsChanged() { RaiseHook(&TComPort::OnCTSEvent); }

// Called from either thread: by ReadData on a failed read, by the event
// thread when the device reports a hang-up (code 0: no system code to go with it).
void TComPort::NoteHangUp(int code) {
  int none = 0;
  FHangUpCode.compare_exchange_strong(none, code != 0 ? code : IoErrorCode());
  FHungUp = true;
}

void TComPort::ReportHangUp() {
  if (FHangUpReported.exchange(true)) return;
  LogError("PORT_ERROR_HANGUP", FHangUpCode);
  RaiseHook(&TComPort::OnHangUpEvent);
}

bool TComPort::StartEventThread() {
  FStopRequested = false;
  FHungUp = false;
  FHangUpCode = 0;
  FHangUpReported = false;
  FCallbackFailureReported = false;
  EnableHooks(true);
  // A port whose arrivals would never be reported is no use to anyone, so
  // unlike a silently dead thread this fails the Open.
  if (!CreateWakeHandle()) {
    LogError("PORT_ERROR_SETMASK_ERROR", LastSystemError());
    return false;
  }
  try {
    FEventThread = std::make_unique<TComEventThread>(*this);
  } catch (const std::system_error& e) {
    LogError("PORT_ERROR_SETMASK_ERROR", e.code().value());
    return false;
  }
  return true;
}

void TComPort::StopEventThread() {
  FStopRequested = true;
  WakeEventThread();
  FEventThread.reset();  // joins: a hook in progress finishes first
}

}  // namespace kestrune
