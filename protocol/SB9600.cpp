#include "protocol/SB9600.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "protocol/CRC16.h"
#include "protocol/OpcodeTables.h"

namespace kestrune {
namespace {

constexpr int32_t kBitsPerByte = 12;  // start, 8 data, parity, stop, and a margin
constexpr int32_t kPostSendMarginMs = 90;
constexpr uint8_t kAckSuccess = 0x50;
constexpr uint8_t kAckFailure = 0x60;
constexpr uint8_t kNoFrameStart = 0xFF;
constexpr int32_t kSb9600FrameLen = 5;

}  // namespace

void TReceiveStageRec::Clear() {
  for (TStageRec* stage : {&waiting, &done}) {
    stage->echo = false;
    stage->ack = false;
    stage->data = false;
  }
}

TSb9600::TSb9600(EventPump& pump, PortFactory portFactory)
    : FPump(pump), FPortFactory(std::move(portFactory)), FReadBuf(kReadBufSize) {
  for (const SbepRequestOpcode& op : SbepRequestOpcodes())
    SbepRespOpcodesDescr[op.request] = op.name;
  for (const OpcodeName& op : Sb9600OpcodeNames()) Sb9600OpcodesDescr[op.opcode] = op.name;
  for (const SbepRequestOpcode& op : SbepRequestOpcodes())
    SbepRespOpcodesResp[op.request] = op.reply;
  TimerWaitingCts = FPump.CreateTimer(kCtsWaitInterval);
  TimerWaitingResp = FPump.CreateTimer(kRespWaitInterval);
}

TSb9600::~TSb9600() {
  AddToLog("Port closed");
  // Closing the port stops its event thread, so no hook runs into the rest of
  // the engine while it is torn down.
  FComPort.reset();
}

// ---------------------------------------------------------------- the port

void TSb9600::CreatePort(const std::string& PortName, int32_t BaudRate, int32_t Bits,
                         int32_t StopBits, int32_t ParityIndex, bool logTX, bool logRX) {
  FLogTX = logTX;
  FLogRX = logRX;
  {
    std::lock_guard lock(BufLock);
    wfStage.Clear();
  }
  FPortName = PortName;
  FBaudRate = BaudRate;
  SbepMode = false;

  FComPort = FPortFactory ? FPortFactory() : std::make_unique<TComPort>();
  FComPort->SetOnDataReadEvent([this](TComPort& port) { PortDataRead(port); });
  FComPort->SetOnDataWriteEvent([this](TComPort& port) { PortDataWrite(port); });
  FComPort->SetOnCTSEvent([this](TComPort& port) { PortCtsChanged(port); });
  FComPort->SetLogProc(FLogProc.load());

  // Every transmission is timed from the baud rate; a port that cannot be
  // timed is not opened at all.
  if (BaudRate <= 0) {
    AddToLog("Port " + PortName + " not opened: baud rate " + std::to_string(BaudRate) +
             " is not valid");
    return;
  }
  if (FComPort->Open(PortName, BaudRate, Bits, StopBits, ParityIndex))
    AddToLog("Port " + PortName + " is open");
  else
    AddToLog(FComPort->LastError());
}

void TSb9600::FreeComPort() { FComPort.reset(); }

// ---------------------------------------------------------------- logging

void TSb9600::SetLog(TLogProcedure lp, TDumpProcedure dp, bool logTX, bool logRX) {
  FLogProc = lp;
  FDumpProc = dp;
  FLogTX = logTX;
  FLogRX = logRX;
}

void TSb9600::AddToLog(const std::string& s) {
  if (TLogProcedure proc = FLogProc.load()) proc(s);
}

void TSb9600::AddDump(const uint8_t* p, int32_t len, const std::string& dir,
                      const std::string& sig) {
  if (TDumpProcedure proc = FDumpProc.load()) proc(p, len, dir, sig);
}

// ---------------------------------------------------------------- opcodes

bool TSb9600::GetSbepPktLen(const uint8_t* buf, int32_t len, int32_t& pkt_len,
                            int32_t& pkt_data_len) {
  if (len < 1) return false;
  const uint8_t hi = buf[0] >> 4;
  const uint8_t lo = buf[0] & 0x0F;
  const bool extendedOpcode = hi == 0xF;
  pkt_len = extendedOpcode ? 2 : 1;
  if (lo != 0xF) {
    pkt_data_len = lo;
    pkt_len += lo;
    return true;
  }
  const int32_t sizeAt = extendedOpcode ? 2 : 1;
  if (len < sizeAt + 2) return false;
  pkt_data_len = (buf[sizeAt] << 8) | buf[sizeAt + 1];
  pkt_len += pkt_data_len + 2;
  return true;
}

uint8_t TSb9600::GetPktOpcode(const uint8_t* buf, int32_t len) const {
  if (SbepMode) return GetSbepOpcode(buf, len);
  return len > 0 ? buf[0] : 0;
}

uint8_t TSb9600::GetSbepOpcode(const uint8_t* buf, int32_t len) {
  if (len < 2 || (buf[0] >> 4) != 0xF) return 0;
  return buf[1];
}

int32_t TSb9600::PostSendDelayMs(int32_t baudRate, int32_t len) {
  if (baudRate <= 0) return kPostSendMarginMs;
  // The seconds per byte are rounded to single precision on purpose: at 9600
  // baud that puts them just below 1.25 ms, so 4 bytes take 4 ms, not 5.
  const float secondsPerByte = static_cast<float>(1.0 / (baudRate / double{kBitsPerByte}));
  const double transmitMs = static_cast<double>(len * 1000) * secondsPerByte;
  return static_cast<int32_t>(transmitMs) + kPostSendMarginMs;
}

// ---------------------------------------------------------------- exchanges

bool TSb9600::SendRepeatAndWait(const std::vector<uint8_t>& pkt) {
  return SendRepeatAndWait(pkt.data(), static_cast<int32_t>(pkt.size()));
}

bool TSb9600::SendRepeatAndWait(const uint8_t* buf, int32_t len) {
  // An empty exchange has no echo to wait for; it would only time out.
  if (buf == nullptr || len <= 0 || !FComPort) return false;
  if (len > kMaxPacketLen) {
    AddToLog("a packet of " + std::to_string(len) + " bytes cannot be sent: the longest is " +
             std::to_string(kMaxPacketLen));
    return false;
  }
  // A handler running nested inside the wait may reuse the caller's buffer.
  const std::vector<uint8_t> pkt(buf, buf + len);

  bool result = false;
  for (int attempt = 0; attempt < kMaxAttempts && !result; ++attempt) {
    if (attempt > 0 && ClosingBegun()) break;
    if (!SendPkt(pkt.data(), len)) break;  // not sent: no retry
    result = WaitResponse();
  }
  if (!result) ResetReadBuf();
  return result;
}

bool TSb9600::SendPkt(const uint8_t* buf, int32_t len) {
  FComPort->Purge();
  StartAttempt(buf, len);
  if (FLogTX) AddDump(buf, len, "TX", "");
  const int32_t delayMs = PostSendDelayMs(FBaudRate, len);

  if (!SbepMode && !WaitWhileBusy()) {
    AddToLog("waiting for low Busy state expired");
    return false;
  }
  FComPort->SetDtrState(true);
  if (!FComPort->SendPacket(buf, static_cast<uint32_t>(len))) {
    FComPort->SetDtrState(false);
    return false;
  }
  // The radio needs the line keyed until the frame has left the wire.
  std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
  if (!SbepMode) FComPort->SetDtrState(false);
  return true;
}

// Resets the buffer, the stage flags and the expected echo in one step under
// BufLock, so a recognition pass sees either the previous attempt or this
// one, never a late echo of the old packet against the new flags.
void TSb9600::StartAttempt(const uint8_t* buf, int32_t len) {
  const uint8_t opcode = GetPktOpcode(buf, len);
  std::lock_guard bufLock(BufLock);
  FReadBufCount = 0;
  wfStage.Clear();
  wfStage.waiting.echo = true;
  if (SbepMode) {
    wfStage.waiting.ack = true;
    if (SbepRespOpcodesResp.contains(opcode)) wfStage.waiting.data = true;
  }
  SaveSentPkt(buf, len);
}

// The echo the attempt expects. StartAttempt calls it under BufLock.
void TSb9600::SaveSentPkt(const uint8_t* buf, int32_t len) {
  {
    std::lock_guard pktLock(FPktLock);
    FSentPkt.assign(buf, buf + len);
  }
  sentOpcode = GetPktOpcode(buf, len);
}

bool TSb9600::WaitWhileBusy() {
  TimerWaitingCts->Enable();
  while (CtsState && !WaitTimerExpired(*TimerWaitingCts)) FPump.WaitForEvents();
  TimerWaitingCts->Disable();
  return !CtsState;
}

bool TSb9600::WaitResponse() {
  TimerWaitingResp->Enable();
  while (!IsExchangeDone() && !WaitTimerExpired(*TimerWaitingResp)) FPump.WaitForEvents();
  TimerWaitingResp->Disable();
  return IsExchangeDone();
}

// Only the acknowledge is left out in SB9600 mode. A reply still awaited
// there (the mode was cleared while an SBEP request was under way) keeps the
// exchange open: the reply stage only completes in SBEP mode, so the attempt
// times out and the next one starts from fresh stages.
bool TSb9600::IsExchangeDone() const {
  const TStageRec& w = wfStage.waiting;
  const TStageRec& d = wfStage.done;
  if (w.echo != d.echo || w.data != d.data) return false;
  return !SbepMode || w.ack == d.ack;
}

void TSb9600::ResetReadBuf() {
  std::lock_guard lock(BufLock);
  FReadBufCount = 0;
}

std::vector<uint8_t> TSb9600::RecvPkt() const {
  std::lock_guard lock(FPktLock);
  return FRecvPkt;
}

// ---------------------------------------------------------------- SBEP mode

bool TSb9600::EnterSbepMode(uint8_t DevAddr) {
  if (SbepMode) return true;

  std::array<uint8_t, 5> request = ExpandedProtocolPkt;
  request[2] = DevAddr & 0x1F;
  request[4] = Crc16(request.data(), 4, 0x00FF);
  if (!SendRepeatAndWait(request.data(), static_cast<int32_t>(request.size()))) {
    AddToLog("unable to enter SBEP mode!");
    return false;
  }

  {
    std::lock_guard lock(BufLock);
    wfStage.Clear();
    wfStage.waiting.ack = true;
  }
  SbepMode = true;
  // The radio switches over on this pulse and answers with its acknowledge.
  FComPort->SetDtrState(false);
  std::this_thread::sleep_for(kSbepEntryDtrPulse);
  FComPort->SetDtrState(true);

  if (WaitResponse() && FSbepResp == kAckSuccess) {
    AddToLog("SBEP mode: success");
    return true;
  }
  AddToLog("SBEP mode: error");
  LeaveSbepMode();
  return false;
}

void TSb9600::LeaveSbepMode() {
  AddToLog("leaving SBEP mode");
  if (FComPort) FComPort->SetDtrState(false);
  SbepMode = false;
}

// ---------------------------------------------------------------- receive path

void TSb9600::PortDataRead(TComPort& port) {
  std::lock_guard readLock(OnReadLock);
  std::vector<uint8_t> chunk(kReadChunkSize);
  int32_t n = 0;
  port.ReadData(chunk, n);
  n = std::min(n, kReadChunkSize);
  if (n <= 0) return;
  AppendReadBuf(chunk.data(), n);
  std::string descr;
  ParseReadBuf(descr);
  if (FLogRX) AddDump(chunk.data(), n, "RX", descr);
}

void TSb9600::AppendReadBuf(const uint8_t* bytes, int32_t n) {
  std::lock_guard bufLock(BufLock);
  // The buffer never fills up: what is still unrecognised when it would is
  // given up for the newer bytes.
  if (FReadBufCount + n > kReadBufSize - 1) FReadBufCount = 0;
  std::memcpy(FReadBuf.data() + FReadBufCount, bytes, static_cast<size_t>(n));
  FReadBufCount += n;
}

void TSb9600::PortDataWrite(TComPort& /*port*/) {}

void TSb9600::PortCtsChanged(TComPort& port) {
  bool busy = false;
  port.GetCtsState(busy);
  CtsState = busy;
  // Whatever arrived while the bus was busy belongs to someone else.
  if (!busy) ResetReadBuf();
  FPump.Wake();
}

void TSb9600::ParseReadBuf(std::string& descr) {
  {
    std::lock_guard pktLock(FPktLock);
    FRecvPkt.clear();
  }
  std::lock_guard bufLock(BufLock);
  while (FReadBufCount > 0) {
    bool consumed = false;
    Turn turn = EchoStage(consumed);
    if (turn == Turn::NextRule) turn = AckStage(consumed);
    if (turn == Turn::NextRule) turn = DataStage(consumed);
    if (turn == Turn::NextRule) turn = SbepGuard(consumed);
    if (turn == Turn::NextRule) turn = Sb9600Frames(descr);
    if (turn == Turn::End) return;
  }
}

TSb9600::Turn TSb9600::EchoStage(bool& consumed) {
  if (!wfStage.waiting.echo || wfStage.done.echo) return Turn::NextRule;
  if (!EchoAvailable(FReadBufCount)) return Turn::End;
  if (!MatchesSentPkt(FReadBuf.data(), FReadBufCount)) {
    DropReadBuf(1);  // not the start of the echo
    return Turn::NextTurn;
  }
  {
    std::lock_guard pktLock(FPktLock);
    DropReadBuf(static_cast<int32_t>(FSentPkt.size()));
  }
  consumed = true;
  MarkDone(wfStage.done.echo);
  return FReadBufCount == 0 ? Turn::End : Turn::NextRule;
}

TSb9600::Turn TSb9600::AckStage(bool& consumed) {
  if (!wfStage.waiting.ack || wfStage.done.ack || !SbepMode) return Turn::NextRule;
  const uint8_t b = FReadBuf[0];
  DropReadBuf(1);
  if (b != kAckSuccess && b != kAckFailure) return Turn::NextTurn;
  FSbepResp = b;
  consumed = true;
  MarkDone(wfStage.done.ack);
  return FReadBufCount == 0 ? Turn::End : Turn::NextRule;
}

TSb9600::Turn TSb9600::DataStage(bool& consumed) {
  if (!wfStage.waiting.data || wfStage.done.data || !SbepMode) return Turn::NextRule;
  int32_t pktLen = 0;
  int32_t pktDataLen = 0;
  if (!GetSbepPktLen(FReadBuf.data(), FReadBufCount, pktLen, pktDataLen)) return Turn::End;
  if (FReadBufCount < pktLen) return Turn::End;

  const uint8_t* pkt = FReadBuf.data();
  if (pktDataLen == 0) {
    // A header-only packet, such as a further acknowledge byte: kept, and
    // the search for the reply goes on behind it.
    {
      std::lock_guard pktLock(FPktLock);
      FRecvPkt.assign(pkt, pkt + pktLen);
    }
    DropReadBuf(pktLen);
    consumed = true;
    return FReadBufCount == 0 ? Turn::End : Turn::NextRule;
  }
  // A bad reply is not retried here: the attempt times out and is sent again.
  if (ByteSum(pkt, pktLen) == 0xFF) {
    {
      std::lock_guard pktLock(FPktLock);
      FRecvPkt.assign(pkt, pkt + pktLen);
    }
    MarkDone(wfStage.done.data);
  }
  FReadBufCount = 0;
  return Turn::End;
}

// While SBEP traffic is expected, no bytes are taken for SB9600 frames.
TSb9600::Turn TSb9600::SbepGuard(bool consumed) const {
  if (!SbepMode && !wfStage.waiting.data) return Turn::NextRule;
  return consumed ? Turn::NextTurn : Turn::End;
}

TSb9600::Turn TSb9600::Sb9600Frames(std::string& descr) {
  if (FReadBuf[0] == kNoFrameStart) {
    DropReadBuf(3);
    return Turn::NextTurn;
  }
  if (FReadBufCount < kSb9600FrameLen) return Turn::End;
  if (Sb9600Crc(FReadBuf.data(), kSb9600FrameLen) != 0) {
    FReadBufCount = 0;  // out of step with the frames: start afresh
    return Turn::NextTurn;
  }
  const auto name = Sb9600OpcodesDescr.find(FReadBuf[3]);
  if (name != Sb9600OpcodesDescr.end()) descr = name->second;
  DropReadBuf(kSb9600FrameLen);
  return Turn::NextTurn;
}

void TSb9600::DropReadBuf(int32_t n) {
  if (FReadBufCount < n) {
    FReadBufCount = 0;
    return;
  }
  std::memmove(FReadBuf.data(), FReadBuf.data() + n, static_cast<size_t>(FReadBufCount - n));
  FReadBufCount -= n;
}

bool TSb9600::EchoAvailable(int32_t count) const {
  std::lock_guard lock(FPktLock);
  return static_cast<int32_t>(FSentPkt.size()) <= count;
}

bool TSb9600::MatchesSentPkt(const uint8_t* buf, int32_t len) const {
  std::lock_guard lock(FPktLock);
  if (len < static_cast<int32_t>(FSentPkt.size())) return false;
  return std::equal(FSentPkt.begin(), FSentPkt.end(), buf);
}

void TSb9600::MarkDone(std::atomic<bool>& flag) {
  flag = true;
  FPump.Wake();
}

}  // namespace kestrune
