// The serial line to the radio's bus: TComPort and its event thread.
//
// Thread contract
//   Open, Close, the destructor, Purge, SetDtrState, SetRtsState and
//   SendPacket are called on one thread (the GUI thread). The hooks run on the
//   port's event thread; ReadData and GetCtsState may be called from a hook.
//   LastError may be read from either thread. Once Close has begun no new hook
//   call starts; a call in progress is allowed to finish and Close waits for it.
//
// The port never throws: a failure is a false result (where there is one), the
// text in LastError, and one line through the log callback in the form
//   <text> <errno> : "<strerror text>"
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

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

class TComPort {
 public:
  TComPort();
  // For tests: every system call of the port goes through `system`.
  explicit TComPort(std::shared_ptr<SerialSystem> system);
  ~TComPort();  // runs Close
  TComPort(const TComPort&) = delete;
  TComPort& operator=(const TComPort&) = delete;

  void SetLogProc(TLogProcedure p);

  // PortName is "COM1".."COM4" (mapped through the device table, see
  // SerialDevices.h) or a device path. StopBits: 0 one, 1 one and a half,
  // 2 two. ParityIndex: 0 none, 1 odd, 2 even, 3 mark, 4 space.
  bool Open(const std::string& PortName, int32_t BaudRate, int32_t Bits, int32_t StopBits,
            int32_t ParityIndex);
  void Close();

  void Purge();
  void SetDtrState(bool state);
  void SetRtsState(bool state);
  bool GetCtsState(bool& state);
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

  int Handle() const;  // the device descriptor, -1 while none is held
  bool IsOpen() const;
  std::string LastError() const;

  // The private part (FHandle, FIsOpen, FPortName, FLastError, FEventThread,
  // FLogProc, the hooks, LogMessage, LogError, SetupDcb, ...) belongs to serial/.
 private:
};

}  // namespace kestrune
