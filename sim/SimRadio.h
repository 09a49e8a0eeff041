// The simulated radio: a pure state machine with the bus behaviour the program
// relies on. Bytes from the program, changes of its DTR line and the passing
// of time go in; bytes to send back, each with the time to send them, come out.
// It never sleeps, reads a clock or touches a file descriptor: the transports
// (RadioLink and friends) do that. Not thread-safe; one owner drives it.
//
// How it behaves
//   - Every byte received is echoed at once, as the bus does.
//   - SB9600 mode: 5-byte frames; a frame with a bad check byte is ignored.
//     EXPANDED PROTOCOL REQUEST switches to SBEP for its device address and is
//     acknowledged with 0x50 either on the next rising edge of DTR (where DTR
//     is visible) or after the acknowledge delay (on a pseudo-terminal, which
//     carries no modem lines). MEMORY ACCESS opens and closes memory access,
//     CHANNEL NUMBER sets the channel; every other valid frame is accepted.
//   - SBEP mode: packets by the SBEP length rule. A bad checksum is answered
//     0x60; otherwise 0x50, followed by a reply for requests: Read_Data_Request
//     (reply 0x80) and Write_Data_Request (reply 0x84) on the memory space the
//     request's selector nibble names; other requests of the opcode table get
//     an empty reply with their reply opcode. The tune packet (extended opcode
//     0x2B) and the display text packet (header 0x1F) are acknowledged and
//     recorded. A malformed request is answered 0x60.
//   - Leaving SBEP: DTR falling, or a valid SB9600 frame arriving where no
//     SBEP packet the radio knows starts (a known start is header 0x1F or an
//     extended opcode the radio answers). The program's LeaveSbepMode sends
//     nothing, so on a line without DTR the radio learns of it only from the
//     next SB9600 frame: the MEMORY ACCESS message that closes a transfer, or
//     the next SBEP entry request.
//   - Framing: a unit (frame or packet) that stays incomplete for the frame
//     gap is dropped, so a stray byte cannot shift every later frame.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrune::sim {

// The radio's own clock: time since the transport started it.
using Micros = std::chrono::microseconds;
using std::chrono::milliseconds;

enum class MemorySpace { Eeprom, Flash1, Flash2, Direct };
inline constexpr std::array<MemorySpace, 4> kMemorySpaces{MemorySpace::Eeprom, MemorySpace::Flash1,
                                                          MemorySpace::Flash2, MemorySpace::Direct};
// Addresses are 20 bits wide.
inline constexpr size_t kMemorySpaceSize = size_t{1} << 20;
// The space named by the high nibble of a request's selector byte.
std::optional<MemorySpace> SpaceFromSelector(uint8_t selectorByte);
const char* SpaceName(MemorySpace space);

// Where the EEPROM keeps the two lengths whose sum is the "eeprom default" range.
inline constexpr uint32_t kCoreLengthAddress = 0x0002;
inline constexpr uint32_t kBonusLengthAddress = 0x02A6;
inline constexpr uint16_t kDefaultCoreLength = 0x0B00;
inline constexpr uint16_t kDefaultBonusLength = 0x0035;
// The content a space holds when no image is given: a deterministic pattern
// that differs from address to address and from space to space, so that a
// byte read from the wrong place shows. The EEPROM's pattern carries the
// default core and bonus lengths, and the bytes after their sum read 0xFF.
std::vector<uint8_t> DefaultMemory(MemorySpace space);

// Counted faults apply to that many occurrences; kEveryTime makes them permanent.
inline constexpr int kEveryTime = -1;

struct Faults {
  bool silent = false;                     // radio off: nothing is echoed or answered
  int dropEcho = 0;                        // frames whose echo is left out
  int refuseAck = 0;                       // acknowledges sent as 0x60 instead of 0x50
  int corruptReply = 0;                    // reply packets sent with a wrong checksum
  int shortReply = 0;                      // reply packets sent without their payload
  int wrongReplyOpcode = 0;                // reply packets sent with opcode 00
  std::vector<uint8_t> garbageBeforeEcho;  // sent ahead of the echo of every frame
  milliseconds spontaneousPeriod{0};       // an unsolicited SB9600 frame this often; 0: never
  bool pacing = false;                     // 12 bit times per byte at the baud rate
  // A written byte at this address (in any space) is stored with its bits
  // inverted, as a cell that does not hold what it was given; the write is
  // still acknowledged and answered as usual.
  std::optional<uint32_t> corruptWriteAddress;
};

enum class AckTrigger {
  DtrPulse,  // DTR is visible: acknowledge on its next rising edge
  Delay,     // no modem lines: acknowledge after the acknowledge delay
};

struct RadioConfig {
  int32_t baudRate = 9600;
  AckTrigger ackTrigger = AckTrigger::Delay;
  std::optional<milliseconds> ackDelay;  // default: DefaultAckDelay(baudRate)
  std::optional<milliseconds> frameGap;  // default: DefaultFrameGap(baudRate)
  Faults faults;
  std::vector<uint8_t> eeprom;  // image from address 0; empty: DefaultMemory
};

// After the entry request, the program sleeps its post-send delay (12 bit times
// per byte of the 5-byte frame plus 90 ms: 96 ms at 9600 baud), drops DTR for
// 40 ms and raises it again; only then does it listen for the acknowledge, for
// up to 3000 ms. An acknowledge that came earlier would be taken for stray
// bytes and lost. So the default waits out those two pauses and adds 150 ms
// for a loaded machine (286 ms at 9600 baud), far inside the 3000 ms window.
milliseconds DefaultAckDelay(int32_t baudRate);
// Long enough for the bytes of one frame written at once to arrive together,
// short against the 90 ms and more the program pauses between frames.
milliseconds DefaultFrameGap(int32_t baudRate);

// Bytes to put on the line at time `at` (on the radio's clock).
struct Emission {
  Micros at;
  std::vector<uint8_t> bytes;
  bool operator==(const Emission&) const = default;
};

enum class BusMode { Sb9600, SbepAwaitingAck, Sbep };
const char* BusModeName(BusMode mode);

// One line of the bus trace.
struct TraceEvent {
  enum class Source { Program, Radio, Note };
  Source source;
  std::string label;           // "SB9600", "SBEP", "ack", "garbage", ...
  std::vector<uint8_t> bytes;  // what went over the bus, if anything
  std::string text;            // what it means
};

struct ReceivedFrame {
  enum class Kind { Sb9600, Sbep };
  Kind kind;
  std::vector<uint8_t> bytes;
  bool valid;  // check byte or checksum correct
};

struct Sb9600Tune {
  uint8_t modeByte;
  uint16_t channel;
};

struct SbepTune {
  uint8_t option;
  uint16_t frames;
  uint16_t channel;
};

struct DisplayText {
  uint8_t device;                   // SBEP device address it was sent to
  std::array<uint8_t, 4> params;    // bytes 3, 4, 6 and 7 of the packet
  std::vector<uint8_t> text;        // UTF-8 bytes as sent
  std::vector<uint8_t> attributes;  // one per text byte
  std::string Text() const { return {text.begin(), text.end()}; }
};

struct MemoryAccessState {
  bool open = false;
  uint8_t mode = 0;  // access mode of the last MEMORY ACCESS message
};

class SimRadio {
 public:
  using TraceSink = std::function<void(const TraceEvent&)>;
  static constexpr size_t kMaxRecordedFrames = 100000;

  explicit SimRadio(RadioConfig config = {});

  // Receives the trace of everything the radio sees and does.
  void SetTraceSink(TraceSink sink) { trace_ = std::move(sink); }

  // The three inputs. `now` never goes backwards.
  std::vector<Emission> Receive(std::span<const uint8_t> bytes, Micros now);
  std::vector<Emission> SetDtr(bool level, Micros now);
  std::vector<Emission> Advance(Micros now);
  // When Advance has something to do next (acknowledge delay, frame gap,
  // spontaneous frame); nothing when only new input can change the state.
  std::optional<Micros> NextDeadline() const;

  const Faults& GetFaults() const { return faults_; }
  // Replaces every fault; a spontaneous period starts counting at `now`.
  void SetFaults(Faults faults, Micros now);
  int32_t BaudRate() const { return baudRate_; }
  milliseconds AckDelay() const { return ackDelay_; }
  milliseconds FrameGap() const { return frameGap_; }
  AckTrigger GetAckTrigger() const { return ackTrigger_; }

  BusMode Mode() const { return mode_; }
  uint8_t SbepDevice() const { return sbepDevice_; }
  bool Dtr() const { return dtr_; }
  std::span<const uint8_t> Memory(MemorySpace space) const;
  std::span<uint8_t> Memory(MemorySpace space);
  MemoryAccessState MemoryAccess() const { return memoryAccess_; }
  std::optional<uint16_t> LastChannel() const { return lastChannel_; }
  std::optional<Sb9600Tune> LastSb9600Tune() const { return lastSb9600Tune_; }
  std::optional<SbepTune> LastSbepTune() const { return lastSbepTune_; }
  std::optional<DisplayText> LastDisplayText() const { return lastDisplay_; }
  // Every frame and packet received, oldest first (the oldest are dropped
  // beyond kMaxRecordedFrames).
  const std::deque<ReceivedFrame>& FramesReceived() const { return received_; }
  void ClearFramesReceived() { received_.clear(); }
  // Unsolicited frames sent so far.
  size_t SpontaneousFramesSent() const { return spontaneousSent_; }

 private:
  enum class UnitKind { NeedMore, Sb9600Frame, SbepPacket };
  struct UnitCut {
    UnitKind kind;
    size_t length;
  };

  void ReceiveByte(uint8_t b, Micros now);
  void StartUnit(Micros now);
  void CutUnits(Micros now, bool flush);
  UnitCut NextUnit(bool flush) const;
  void DropStaleUnit(Micros now);

  void HandleSb9600Frame(std::span<const uint8_t> frame, Micros now);
  void EnterSbep(std::span<const uint8_t> frame, Micros now);
  void HandleMemoryAccess(std::span<const uint8_t> frame);
  void HandleChannelNumber(std::span<const uint8_t> frame);
  void LeaveSbep(const std::string& why);
  void SendEntryAck(Micros now);

  void HandleSbepPacket(std::span<const uint8_t> packet, Micros now);
  void HandleRead(std::span<const uint8_t> packet, Micros now);
  void HandleWrite(std::span<const uint8_t> packet, Micros now);
  void HandleTune(std::span<const uint8_t> packet, Micros now);
  void HandleDisplay(std::span<const uint8_t> packet, Micros now);
  void HandleOtherRequest(std::span<const uint8_t> packet, Micros now);

  // Sends 0x50, or 0x60 when `accepted` is false or the refuseAck fault
  // strikes; true when 0x50 went out.
  bool Acknowledge(bool accepted, Micros now);
  void SendReply(std::vector<uint8_t> packet, const std::string& text, Micros now);
  void SendSpontaneousFrame(Micros now);
  void Send(std::span<const uint8_t> bytes, Micros now);
  static bool TakeOne(int& count);

  void Record(ReceivedFrame::Kind kind, std::span<const uint8_t> bytes, bool valid);
  void Trace(TraceEvent::Source source, std::string label, std::span<const uint8_t> bytes,
             std::string text);
  void Note(std::string text) { Trace(TraceEvent::Source::Note, "", {}, std::move(text)); }
  void TraceReceived(const char* label, std::span<const uint8_t> bytes, std::string text);

  // Configuration.
  int32_t baudRate_;
  AckTrigger ackTrigger_;
  milliseconds ackDelay_;
  milliseconds frameGap_;
  Faults faults_;
  TraceSink trace_;

  // Bus state.
  BusMode mode_ = BusMode::Sb9600;
  uint8_t sbepDevice_ = 0;
  bool dtr_ = false;
  std::optional<Micros> ackDueAt_;
  std::optional<Micros> spontaneousDueAt_;
  Micros txFreeAt_{0};
  std::vector<Emission> out_;  // collects the emissions of one input

  // The unit being received.
  std::vector<uint8_t> unit_;
  bool unitEchoDropped_ = false;
  Micros lastByteAt_{0};

  // What the radio holds and remembers.
  std::array<std::vector<uint8_t>, 4> memory_;
  MemoryAccessState memoryAccess_;
  std::optional<uint16_t> lastChannel_;
  std::optional<Sb9600Tune> lastSb9600Tune_;
  std::optional<SbepTune> lastSbepTune_;
  std::optional<DisplayText> lastDisplay_;
  std::deque<ReceivedFrame> received_;
  size_t spontaneousSent_ = 0;
};

}  // namespace kestrune::sim
