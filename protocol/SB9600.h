// The bus engine: the one object through which the console talks to the radio.
//
// TSb9600 owns the serial port, sends one packet at a time and waits until the
// radio has echoed it and, in SBEP mode, acknowledged it (0x50 or 0x60) and
// sent the reply that the request calls for. Up to three attempts are made.
// Callers hand over complete packets, check byte included; the only packet the
// engine builds itself is the SBEP entry request.
//
// Thread contract
//   Every public operation runs on the thread that owns the event pump (the
//   GUI thread in the console). The port hooks PortDataRead, PortDataWrite and
//   PortCtsChanged run on the port's event thread; they take OnReadLock for a
//   whole notification and BufLock inside it. The owner thread takes BufLock
//   (briefly) but never OnReadLock, so a dump callback that hands work to the
//   owner thread cannot deadlock with it.
//   The stage flags, CtsState, SbepMode and the acknowledge byte are atomics;
//   the sent and the received packet are handed over under a short lock of
//   their own.
//
// Waits sleep in the event pump: pending events are dispatched (handlers may
// run nested inside a wait), and the event thread wakes the pump whenever a
// stage completes or the CTS level changes. Two one-shot timers of the pump
// bound the waits: 1000 ms for the busy line, 3000 ms for an exchange. A
// handler that runs inside a wait may start an exchange of its own; it shares
// the timers and the stage flags, so the outer wait ends with it.
//
// Typical use by the console:
//   auto engine = std::make_unique<TSb9600>(pump);
//   engine->SetLog(LogLine, LogDump, logTX, logRX);
//   engine->CreatePort("COM1", 9600, 8, 0, 0, logTX, logRX);
//   if (!engine->ComPort()->IsOpen()) engine.reset();   // logs "Port closed"
//   ...
//   engine->FreeComPort();                                // new port settings
//   engine->CreatePort("COM2", 4800, 8, 0, 0, logTX, logRX);
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "protocol/EventPump.h"
#include "serial/UnitComPort.h"

namespace kestrune {

// The stages of one exchange: the echo of the sent packet, the SBEP
// acknowledge byte, the SBEP reply packet.
struct TStageRec {
  std::atomic<bool> echo{false};
  std::atomic<bool> ack{false};
  std::atomic<bool> data{false};
};

// What the current exchange waits for, and what has arrived.
struct TReceiveStageRec {
  TStageRec waiting;
  TStageRec done;

  void Clear();  // all six flags
};

class TSb9600 {
 public:
  // Makes the port CreatePort opens; tests hand in ports over a fake system.
  using PortFactory = std::function<std::unique_ptr<TComPort>()>;

  static constexpr int32_t kReadBufSize = 4096;
  static constexpr int32_t kReadChunkSize = 1200;
  static constexpr int kMaxAttempts = 3;
  // The longest packet whose echo can ever be matched: the receive buffer
  // never holds more than kReadBufSize - 1 bytes.
  static constexpr int32_t kMaxPacketLen = kReadBufSize - 1;
  static constexpr std::chrono::milliseconds kCtsWaitInterval{1000};
  static constexpr std::chrono::milliseconds kRespWaitInterval{3000};
  // DTR is dropped this long after the SBEP entry request's echo; the radio
  // answers the rising edge that ends it.
  static constexpr std::chrono::milliseconds kSbepEntryDtrPulse{40};
  // EXPANDED PROTOCOL REQUEST for device 1, check byte included.
  static constexpr std::array<uint8_t, 5> ExpandedProtocolPkt{0x00, 0x12, 0x01, 0x06, 0x02};

  // `pump` must outlive the engine. Without a factory the engine makes plain
  // TComPort objects.
  explicit TSb9600(EventPump& pump, PortFactory portFactory = {});
  // Logs "Port closed" (also when no port ever opened), then closes the port.
  ~TSb9600();
  TSb9600(const TSb9600&) = delete;
  TSb9600& operator=(const TSb9600&) = delete;

  // Opens a new port in SB9600 mode and logs "Port <name> is open", or the
  // port's error text. The console frees the previous port first
  // (FreeComPort); one still held is closed and freed here. A baud rate of 0
  // or below is refused with one log line and the port is left closed. The
  // caller checks ComPort()->IsOpen().
  void CreatePort(const std::string& PortName, int32_t BaudRate, int32_t Bits, int32_t StopBits,
                  int32_t ParityIndex, bool logTX, bool logRX);
  // Closes and frees the port (its event thread ends first). ComPort() is
  // nullptr afterwards.
  void FreeComPort();

  // The new log callback reaches the port only at the next CreatePort.
  void SetLog(TLogProcedure lp, TDumpProcedure dp, bool logTX, bool logRX);
  void AddToLog(const std::string& s);
  // Also called on the port's event thread; p is valid only during the call.
  void AddDump(const uint8_t* p, int32_t len, const std::string& dir, const std::string& sig);

  // One exchange, up to three attempts: true when the echo (and in SBEP mode
  // the acknowledge byte and any reply the request calls for) arrived.
  // False for an empty packet, without writing anything; false with one log
  // line for a packet longer than kMaxPacketLen, whose echo could never be
  // matched.
  bool SendRepeatAndWait(const uint8_t* buf, int32_t len);
  bool SendRepeatAndWait(const std::vector<uint8_t>& pkt);

  // Once closing has begun (the window closes, a quit signal arrived) no
  // exchange starts a further attempt: the attempt in flight finishes, and
  // an exchange begun afterwards (leaving SBEP, closing memory access) gets
  // its first attempt only. Safe from any thread; it cannot be undone.
  void BeginClosing() { closing_ = true; }
  // True when the port's device went away: no exchange can succeed until a
  // new port is made.
  bool PortLost() const { return FComPort && FComPort->HungUp(); }
  bool ClosingBegun() const { return closing_.load(); }

  // Asks device DevAddr (low five bits) to switch to SBEP. True: SBEP mode,
  // DTR raised, SbepResp() 0x50. False: SB9600 mode, DTR low.
  bool EnterSbepMode(uint8_t DevAddr);
  // Logs "leaving SBEP mode", drops DTR; sends nothing.
  void LeaveSbepMode();

  // Length of the SBEP packet at buf: false when the header (and a 16-bit
  // size) are not within len bytes. Does not check that pkt_len bytes exist.
  static bool GetSbepPktLen(const uint8_t* buf, int32_t len, int32_t& pkt_len,
                            int32_t& pkt_data_len);
  // SBEP mode: GetSbepOpcode; SB9600 mode: the first byte (0 for no bytes).
  uint8_t GetPktOpcode(const uint8_t* buf, int32_t len) const;
  // The extended opcode of an SBEP packet (header 0xF?), else 0.
  static uint8_t GetSbepOpcode(const uint8_t* buf, int32_t len);
  // The pause after writing len bytes at baudRate (> 0): their transmission
  // time at 12 bits per byte, truncated to whole milliseconds, plus 90.
  static int32_t PostSendDelayMs(int32_t baudRate, int32_t len);

  // Every stage the current exchange waits for has arrived.
  bool IsExchangeDone() const;

  TComPort* ComPort() const { return FComPort.get(); }
  // The last SBEP packet the receive path recognised (first header byte to
  // checksum), or empty. Read it after the wait, before more bytes arrive.
  std::vector<uint8_t> RecvPkt() const;
  uint8_t SbepResp() const { return FSbepResp.load(); }

  // The port's hooks; CreatePort installs them. They run on the port's event
  // thread.
  void PortDataRead(TComPort& port);
  void PortDataWrite(TComPort& port);
  void PortCtsChanged(TComPort& port);

  // True while the radio is in SBEP mode; the script runner may clear it.
  std::atomic<bool> SbepMode{false};
  // Stage flags of the current exchange.
  TReceiveStageRec wfStage;
  // Last CTS level the port reported; true means the bus is busy.
  std::atomic<bool> CtsState{false};
  // The protocol's vocabulary, filled at construction and never changed.
  std::unordered_map<int, std::string> SbepRespOpcodesDescr;
  std::unordered_map<int, std::string> Sb9600OpcodesDescr;
  std::unordered_map<int, int> SbepRespOpcodesResp;

 private:
  friend class TSb9600TestPeer;

  bool SendPkt(const uint8_t* buf, int32_t len);
  void StartAttempt(const uint8_t* buf, int32_t len);
  void SaveSentPkt(const uint8_t* buf, int32_t len);
  // The pump's timers are one-shot: a run ends when the pump dispatches the
  // expiry, which disables the timer. True once the wait's time is up.
  static bool WaitTimerExpired(const PumpTimer& timer) { return !timer.Enabled(); }
  bool WaitWhileBusy();
  bool WaitResponse();
  void ResetReadBuf();

  // Appends one read to the buffer; discards what is buffered first when the
  // buffer would fill up.
  void AppendReadBuf(const uint8_t* bytes, int32_t n);
  // One recognition pass over the receive buffer; holds BufLock throughout.
  void ParseReadBuf(std::string& descr);
  // The rules of a pass, in order; each says how the pass goes on.
  enum class Turn { NextRule, NextTurn, End };
  Turn EchoStage(bool& consumed);
  Turn AckStage(bool& consumed);
  Turn DataStage(bool& consumed);
  Turn SbepGuard(bool consumed) const;
  Turn Sb9600Frames(std::string& descr);
  // The caller holds BufLock.
  void DropReadBuf(int32_t n);
  bool EchoAvailable(int32_t count) const;
  bool MatchesSentPkt(const uint8_t* buf, int32_t len) const;
  void MarkDone(std::atomic<bool>& flag);

  std::unique_ptr<TComPort> FComPort;
  std::atomic<TLogProcedure> FLogProc{nullptr};
  std::atomic<TDumpProcedure> FDumpProc{nullptr};
  std::atomic<uint8_t> FSbepResp{0};
  uint8_t sentOpcode = 0;  // informational only
  EventPump& FPump;
  PortFactory FPortFactory;
  std::unique_ptr<PumpTimer> TimerWaitingCts;
  std::unique_ptr<PumpTimer> TimerWaitingResp;
  std::atomic<bool> closing_{false};
  std::atomic<bool> FLogTX{false};
  std::atomic<bool> FLogRX{false};
  std::string FPortName;
  int32_t FBaudRate = 0;

  // FSentPkt and FRecvPkt cross threads under FPktLock. A transmit step
  // replaces FSentPkt while holding BufLock too, so a recognition pass
  // (which holds BufLock) never matches an echo against a half-started
  // attempt.
  mutable std::mutex FPktLock;
  std::vector<uint8_t> FSentPkt;
  std::vector<uint8_t> FRecvPkt;

  // FReadBuf and FReadBufCount change only under BufLock.
  std::vector<uint8_t> FReadBuf;
  int32_t FReadBufCount = 0;
  std::mutex BufLock;
  std::mutex OnReadLock;
};

}  // namespace kestrune
