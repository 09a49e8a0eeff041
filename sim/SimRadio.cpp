#include "sim/SimRadio.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "protocol/CRC16.h"
#include "sim/Frames.h"
#include "sim/SimRadioText.h"

namespace kestrune::sim {
namespace {

uint8_t PatternByte(MemorySpace space, uint32_t address) {
  uint32_t x = (address + 0x9E37u * (static_cast<uint32_t>(space) + 1)) * 0x2545F491u;
  x ^= x >> 15;
  return static_cast<uint8_t>(x >> 8);
}

std::vector<uint8_t> BuildDefaultMemory(MemorySpace space) {
  std::vector<uint8_t> bytes(kMemorySpaceSize);
  for (uint32_t a = 0; a < kMemorySpaceSize; ++a) bytes[a] = PatternByte(space, a);
  if (space != MemorySpace::Eeprom) return bytes;
  std::fill(bytes.begin() + (kDefaultCoreLength + kDefaultBonusLength), bytes.end(), 0xFF);
  bytes[kCoreLengthAddress] = kDefaultCoreLength >> 8;
  bytes[kCoreLengthAddress + 1] = kDefaultCoreLength & 0xFF;
  bytes[kBonusLengthAddress] = kDefaultBonusLength >> 8;
  bytes[kBonusLengthAddress + 1] = kDefaultBonusLength & 0xFF;
  return bytes;
}

// Where a packet's first bytes put it, seen from a radio in SBEP mode.
enum class SbepStart { Known, Unknown, Undecided };

SbepStart ClassifySbepStart(std::span<const uint8_t> bytes) {
  if (bytes[0] == kSbepDisplayHeader) return SbepStart::Known;
  if ((bytes[0] >> 4) != 0xF) return SbepStart::Unknown;
  if (bytes.size() < 2) return SbepStart::Undecided;
  return bytes[1] == kSbepTune || FindSbepRequest(bytes[1]) ? SbepStart::Known : SbepStart::Unknown;
}

}  // namespace

std::optional<MemorySpace> SpaceFromSelector(uint8_t selectorByte) {
  switch (selectorByte >> 4) {
    case 0x0: return MemorySpace::Eeprom;
    case 0x4: return MemorySpace::Flash1;
    case 0x5: return MemorySpace::Flash2;
    case 0x8: return MemorySpace::Direct;
    default: return std::nullopt;
  }
}

const char* SpaceName(MemorySpace space) {
  switch (space) {
    case MemorySpace::Eeprom: return "eeprom";
    case MemorySpace::Flash1: return "flash 1";
    case MemorySpace::Flash2: return "flash 2";
    case MemorySpace::Direct: return "direct";
  }
  return "?";
}

const char* BusModeName(BusMode mode) {
  switch (mode) {
    case BusMode::Sb9600: return "SB9600";
    case BusMode::SbepAwaitingAck: return "SBEP (acknowledge pending)";
    case BusMode::Sbep: return "SBEP";
  }
  return "?";
}

std::vector<uint8_t> DefaultMemory(MemorySpace space) {
  // Built once; every radio starts from a copy.
  static const std::array<std::vector<uint8_t>, 4> kDefaults{
      BuildDefaultMemory(MemorySpace::Eeprom), BuildDefaultMemory(MemorySpace::Flash1),
      BuildDefaultMemory(MemorySpace::Flash2), BuildDefaultMemory(MemorySpace::Direct)};
  return kDefaults[static_cast<size_t>(space)];
}

milliseconds DefaultAckDelay(int32_t baudRate) {
  const int64_t entryFrameMs = 5 * 12 * 1000 / baudRate;
  return milliseconds{entryFrameMs + 90 + 40 + 150};
}

milliseconds DefaultFrameGap(int32_t baudRate) {
  const int64_t fourBytesMs = 4 * 12 * 1000 / baudRate;
  return milliseconds{std::max<int64_t>(50, fourBytesMs)};
}

SimRadio::SimRadio(RadioConfig config)
    : baudRate_(config.baudRate),
      ackTrigger_(config.ackTrigger),
      faults_(std::move(config.faults)) {
  if (baudRate_ <= 0) throw std::invalid_argument("the baud rate must be positive");
  if (config.eeprom.size() > kMemorySpaceSize)
    throw std::invalid_argument("the EEPROM image is larger than 1 MiB");
  ackDelay_ = config.ackDelay.value_or(DefaultAckDelay(baudRate_));
  frameGap_ = config.frameGap.value_or(DefaultFrameGap(baudRate_));
  for (MemorySpace space : kMemorySpaces)
    memory_[static_cast<size_t>(space)] = DefaultMemory(space);
  if (!config.eeprom.empty()) {
    auto& eeprom = memory_[static_cast<size_t>(MemorySpace::Eeprom)];
    std::fill(eeprom.begin(), eeprom.end(), 0xFF);
    std::copy(config.eeprom.begin(), config.eeprom.end(), eeprom.begin());
  }
  SetFaults(faults_, Micros{0});
}

void SimRadio::SetFaults(Faults faults, Micros now) {
  faults_ = std::move(faults);
  spontaneousDueAt_.reset();
  if (faults_.spontaneousPeriod.count() > 0) spontaneousDueAt_ = now + faults_.spontaneousPeriod;
}

std::span<const uint8_t> SimRadio::Memory(MemorySpace space) const {
  return memory_[static_cast<size_t>(space)];
}

std::span<uint8_t> SimRadio::Memory(MemorySpace space) {
  return memory_[static_cast<size_t>(space)];
}

// ---- inputs -----------------------------------------------------------------

std::vector<Emission> SimRadio::Receive(std::span<const uint8_t> bytes, Micros now) {
  out_.clear();
  if (bytes.empty()) return {};
  if (faults_.silent) {
    Trace(TraceEvent::Source::Program, "ignored", bytes, "radio off");
    return {};
  }
  if (!unit_.empty() && now - lastByteAt_ >= frameGap_) DropStaleUnit(now);
  for (uint8_t b : bytes) ReceiveByte(b, now);
  lastByteAt_ = now;
  return std::exchange(out_, {});
}

std::vector<Emission> SimRadio::SetDtr(bool level, Micros now) {
  out_.clear();
  if (level == dtr_) return {};
  dtr_ = level;
  if (faults_.silent) return {};
  if (level && mode_ == BusMode::SbepAwaitingAck && ackTrigger_ == AckTrigger::DtrPulse) {
    SendEntryAck(now);
  } else if (!level && mode_ == BusMode::Sbep) {
    LeaveSbep("DTR dropped");
  }
  return std::exchange(out_, {});
}

std::vector<Emission> SimRadio::Advance(Micros now) {
  out_.clear();
  if (!unit_.empty() && now - lastByteAt_ >= frameGap_) DropStaleUnit(now);
  if (ackDueAt_ && now >= *ackDueAt_) {
    ackDueAt_.reset();
    if (!faults_.silent) SendEntryAck(now);
  }
  if (spontaneousDueAt_ && now >= *spontaneousDueAt_) {
    // Like any bus member, the radio does not talk over a frame coming in.
    if (!faults_.silent && mode_ == BusMode::Sb9600 && unit_.empty()) SendSpontaneousFrame(now);
    spontaneousDueAt_ = now + faults_.spontaneousPeriod;
  }
  return std::exchange(out_, {});
}

std::optional<Micros> SimRadio::NextDeadline() const {
  std::optional<Micros> next;
  auto consider = [&next](std::optional<Micros> t) {
    if (t && (!next || *t < *next)) next = t;
  };
  if (!unit_.empty()) consider(lastByteAt_ + frameGap_);
  consider(ackDueAt_);
  consider(spontaneousDueAt_);
  return next;
}

// ---- framing ----------------------------------------------------------------

void SimRadio::ReceiveByte(uint8_t b, Micros now) {
  if (unit_.empty()) StartUnit(now);
  if (!unitEchoDropped_) Send({&b, 1}, now);
  unit_.push_back(b);
  CutUnits(now, false);
}

void SimRadio::StartUnit(Micros now) {
  unitEchoDropped_ = TakeOne(faults_.dropEcho);
  if (!unitEchoDropped_ && !faults_.garbageBeforeEcho.empty()) {
    Trace(TraceEvent::Source::Radio, "garbage", faults_.garbageBeforeEcho, "ahead of the echo");
    Send(faults_.garbageBeforeEcho, now);
  }
}

void SimRadio::CutUnits(Micros now, bool flush) {
  while (!unit_.empty()) {
    const UnitCut cut = NextUnit(flush);
    if (cut.kind == UnitKind::NeedMore) break;
    const std::vector<uint8_t> bytes(unit_.begin(),
                                     unit_.begin() + static_cast<ptrdiff_t>(cut.length));
    unit_.erase(unit_.begin(), unit_.begin() + static_cast<ptrdiff_t>(cut.length));
    if (cut.kind == UnitKind::Sb9600Frame)
      HandleSb9600Frame(bytes, now);
    else
      HandleSbepPacket(bytes, now);
  }
  if (flush && !unit_.empty()) {
    TraceReceived("partial", unit_, "incomplete: ignored");
    unit_.clear();
  }
}

SimRadio::UnitCut SimRadio::NextUnit(bool flush) const {
  if (mode_ == BusMode::Sb9600) {
    if (unit_.size() >= kSb9600FrameSize) return {UnitKind::Sb9600Frame, kSb9600FrameSize};
    return {UnitKind::NeedMore, 0};
  }
  const SbepStart start = ClassifySbepStart(unit_);
  if (start == SbepStart::Undecided && !flush) return {UnitKind::NeedMore, 0};
  if (start != SbepStart::Known) {
    if (unit_.size() < kSb9600FrameSize && !flush) return {UnitKind::NeedMore, 0};
    if (IsValidSb9600Frame(unit_)) return {UnitKind::Sb9600Frame, kSb9600FrameSize};
  }
  const auto layout = SbepPacketLayout(unit_);
  if (!layout || unit_.size() < layout->Total()) return {UnitKind::NeedMore, 0};
  return {UnitKind::SbepPacket, layout->Total()};
}

void SimRadio::DropStaleUnit(Micros now) { CutUnits(now, true); }

// ---- SB9600 -----------------------------------------------------------------

void SimRadio::HandleSb9600Frame(std::span<const uint8_t> frame, Micros now) {
  const bool valid = IsValidSb9600Frame(frame);
  Record(ReceivedFrame::Kind::Sb9600, frame, valid);
  if (!valid) {
    TraceReceived("SB9600", frame, "bad check byte: ignored");
    return;
  }
  if (mode_ != BusMode::Sb9600) LeaveSbep("an SB9600 frame arrived");
  switch (frame[3]) {
    case kOpExpandedProtocolRequest: EnterSbep(frame, now); break;
    case kOpMemoryAccess: HandleMemoryAccess(frame); break;
    case kOpChannelNumber: HandleChannelNumber(frame); break;
    default: {
      const char* name = Sb9600OpcodeName(frame[3]);
      TraceReceived("SB9600", frame, name ? name : Format("opcode %02X (no name)", frame[3]));
    }
  }
}

void SimRadio::EnterSbep(std::span<const uint8_t> frame, Micros now) {
  sbepDevice_ = frame[2] & 0x1F;
  TraceReceived("SB9600", frame, Format("EXPANDED PROTOCOL REQUEST: device %u", sbepDevice_));
  mode_ = BusMode::SbepAwaitingAck;
  if (ackTrigger_ == AckTrigger::Delay) {
    ackDueAt_ = now + ackDelay_;
    Note(Format("acknowledge in %lld ms", static_cast<long long>(ackDelay_.count())));
  } else {
    Note("acknowledge when DTR rises");
  }
}

void SimRadio::SendEntryAck(Micros now) {
  ackDueAt_.reset();
  if (Acknowledge(true, now)) {
    mode_ = BusMode::Sbep;
    Note(Format("SBEP mode, device %u", sbepDevice_));
  } else {
    mode_ = BusMode::Sb9600;
    Note("SBEP entry refused: SB9600 mode");
  }
}

void SimRadio::LeaveSbep(const std::string& why) {
  mode_ = BusMode::Sb9600;
  ackDueAt_.reset();
  Note("SBEP mode left: " + why);
}

void SimRadio::HandleMemoryAccess(std::span<const uint8_t> frame) {
  memoryAccess_ = {(frame[1] & 0x01) != 0, static_cast<uint8_t>((frame[1] >> 1) & 0x03)};
  TraceReceived("SB9600", frame,
                Format("MEMORY ACCESS: %s, mode %u", memoryAccess_.open ? "open" : "close",
                       memoryAccess_.mode));
}

void SimRadio::HandleChannelNumber(std::span<const uint8_t> frame) {
  const auto channel = static_cast<uint16_t>((frame[1] << 8) | frame[2]);
  lastChannel_ = channel;
  lastSb9600Tune_ = Sb9600Tune{frame[0], channel};
  TraceReceived("SB9600", frame,
                Format("CHANNEL NUMBER: channel %u, mode byte %02X", channel, frame[0]));
}

// ---- output -----------------------------------------------------------------

bool SimRadio::Acknowledge(bool accepted, Micros now) {
  const bool injected = accepted && TakeOne(faults_.refuseAck);
  const uint8_t ack = accepted && !injected ? kAckOk : kAckRefused;
  Trace(TraceEvent::Source::Radio, "ack", {&ack, 1},
        ack == kAckOk ? "accepted"
        : injected    ? "refused (injected fault)"
                      : "refused");
  Send({&ack, 1}, now);
  return ack == kAckOk;
}

void SimRadio::SendReply(std::vector<uint8_t> packet, const std::string& text, Micros now) {
  std::string what = text;
  // Well-formed packets the program must still not take for the answer.
  if (TakeOne(faults_.shortReply)) {
    packet = BuildSbepPacket(SbepOpcode(packet), {});
    what += " (payload left out)";
  }
  if (TakeOne(faults_.wrongReplyOpcode)) {
    packet[1] = 0x00;
    packet.back() = InvertedByteSum(packet.data(), static_cast<int32_t>(packet.size() - 1));
    what += " (opcode 00)";
  }
  if (TakeOne(faults_.corruptReply)) {
    packet.back() = static_cast<uint8_t>(packet.back() + 1);
    what += " (checksum corrupted)";
  }
  Trace(TraceEvent::Source::Radio, "SBEP", packet, what);
  Send(packet, now);
}

void SimRadio::SendSpontaneousFrame(Micros now) {
  const uint16_t channel = lastChannel_.value_or(0);
  const auto frame = BuildSb9600Frame(0x00, static_cast<uint8_t>(channel >> 8),
                                      static_cast<uint8_t>(channel), kOpChannelNumber);
  Trace(TraceEvent::Source::Radio, "SB9600", frame,
        Format("CHANNEL NUMBER: channel %u (unsolicited)", channel));
  Send(frame, now);
  ++spontaneousSent_;
}

void SimRadio::Send(std::span<const uint8_t> bytes, Micros now) {
  if (bytes.empty()) return;
  Micros at = std::max(now, txFreeAt_);
  if (!faults_.pacing) {
    out_.push_back({at, {bytes.begin(), bytes.end()}});
    return;
  }
  const Micros byteTime{12'000'000 / baudRate_};
  for (uint8_t b : bytes) {
    at += byteTime;
    out_.push_back({at, {b}});
  }
  txFreeAt_ = at;
}

bool SimRadio::TakeOne(int& count) {
  if (count < 0) return true;
  if (count == 0) return false;
  --count;
  return true;
}

// ---- records and trace --------------------------------------------------------

void SimRadio::Record(ReceivedFrame::Kind kind, std::span<const uint8_t> bytes, bool valid) {
  received_.push_back({kind, {bytes.begin(), bytes.end()}, valid});
  if (received_.size() > kMaxRecordedFrames) received_.pop_front();
}

void SimRadio::Trace(TraceEvent::Source source, std::string label, std::span<const uint8_t> bytes,
                     std::string text) {
  if (trace_)
    trace_(TraceEvent{source, std::move(label), {bytes.begin(), bytes.end()}, std::move(text)});
}

void SimRadio::TraceReceived(const char* label, std::span<const uint8_t> bytes, std::string text) {
  if (unitEchoDropped_) text += " [echo dropped]";
  Trace(TraceEvent::Source::Program, label, bytes, std::move(text));
}

}  // namespace kestrune::sim
