#include "console/ops/MemoryTransfer.h"

#include <algorithm>

#include "console/core/IntConv.h"
#include "console/ops/TextFormat.h"
#include "protocol/CRC16.h"
#include "protocol/SB9600.h"

namespace kestrune {

namespace {

constexpr uint8_t kAccepted = 0x50;
constexpr uint8_t kReadReplyOpcode = 0x80;
constexpr uint8_t kWriteReplyOpcode = 0x84;
// Up to this many bytes the read reply carries its data from byte 5 (a 4-bit
// size), beyond it from byte 7 (a 16-bit size).
constexpr uint32_t kShortReadLimit = 14;
// The reply to a 2-byte read: header, opcode, three address bytes, the two
// data bytes and the checksum.
constexpr size_t kLengthReplySize = 8;

void AppendAddress(std::vector<uint8_t>& bytes, uint8_t selector, uint32_t address) {
  bytes.push_back(static_cast<uint8_t>(selector | ((address >> 16) & 0x0F)));
  bytes.push_back(static_cast<uint8_t>(address >> 8));
  bytes.push_back(static_cast<uint8_t>(address));
}

void AppendChecksum(std::vector<uint8_t>& bytes) {
  bytes.push_back(InvertedByteSum(bytes.data(), static_cast<int32_t>(bytes.size())));
}

size_t ReadDataOffset(uint32_t count) { return count > kShortReadLimit ? 7 : 5; }

// The reply packet of the last exchange when the radio accepted the request
// and the packet's length field is readable.
std::optional<std::vector<uint8_t>> AcceptedReply(const TSb9600& engine) {
  if (engine.SbepResp() != kAccepted) return std::nullopt;
  std::vector<uint8_t> reply = engine.RecvPkt();
  int32_t length = 0;
  int32_t dataLength = 0;
  if (!TSb9600::GetSbepPktLen(reply.data(), static_cast<int32_t>(reply.size()), length, dataLength))
    return std::nullopt;
  return reply;
}

// The count data bytes of an accepted read reply.
std::optional<std::vector<uint8_t>> ReadData(const TSb9600& engine, uint32_t count) {
  const auto reply = AcceptedReply(engine);
  const size_t offset = ReadDataOffset(count);
  if (!reply || reply->size() < offset + count) return std::nullopt;
  const auto first = reply->begin() + static_cast<std::ptrdiff_t>(offset);
  return std::vector<uint8_t>(first, first + count);
}

bool WriteAccepted(const TSb9600& engine) {
  const auto reply = AcceptedReply(engine);
  return reply && reply->size() >= 2 && (*reply)[1] == kWriteReplyOpcode;
}

// A length of the "eeprom default" range: only from an accepted read reply
// of exactly the size a 2-byte read is answered with.
std::optional<uint16_t> LengthReply(const TSb9600& engine) {
  const auto reply = AcceptedReply(engine);
  if (!reply || reply->size() != kLengthReplySize || (*reply)[1] != kReadReplyOpcode)
    return std::nullopt;
  return static_cast<uint16_t>(((*reply)[5] << 8) | (*reply)[6]);
}

// The window is served between chunks too: a reply that arrived during the
// engine's post-send pause ends the exchange before its wait has dispatched
// a single event, so without this a transfer would hold off every event,
// a request to stop included, until its end.
void ServePendingEvents(TOperationContext& context) {
  context.Pump.Wake();
  context.Pump.WaitForEvents();
}

void Report(const TMemoryProgress& progress, uint32_t done, uint32_t total, uint32_t address) {
  if (progress) progress(done, total, address);
}

// Runs body between the opening and the closing, which runs however the
// body ends, also when it throws. Gives what body returns, or its empty
// value when the opening failed.
template <class Body>
auto Framed(TOperationContext& context, TMemoryDevice device, Body&& body) -> decltype(body()) {
  TSb9600& engine = context.Engine;
  const auto close = [&] {
    engine.LeaveSbepMode();
    SendMemoryAccess(engine, false, device.Mode);
  };
  decltype(body()) result{};
  try {
    if (SendMemoryAccess(engine, true, device.Mode) && engine.EnterSbepMode(kMemorySbepDevice))
      result = body();
  } catch (...) {
    close();
    throw;
  }
  close();
  return result;
}

// The fields' range when both texts are numbers and the range is refused:
// refused here, before anything is sent. Texts that are no numbers are left
// to the conversion after the opening, which reports them.
bool RefusedBeforeOpening(TOperationContext& context, const TMemoryFields& fields,
                          std::optional<size_t> imageSize, bool reading) {
  const auto base = TryStrToInt("$" + fields.Base);
  const auto length = TryStrToInt("$" + fields.Length);
  if (!base || !length) return false;
  const auto error = reading ? MemoryReadRangeError({*base, *length})
                             : MemoryRangeError({*base, *length}, imageSize);
  if (error) context.Log(*error);
  return error.has_value();
}

std::optional<TMemoryRange> FieldRange(TOperationContext& context,
                                       const std::function<TMemoryFields()>& fields,
                                       std::optional<size_t> imageSize, bool reading) {
  const TMemoryRange range = ParseMemoryRange(fields());
  if (const auto error =
          reading ? MemoryReadRangeError(range) : MemoryRangeError(range, imageSize)) {
    context.Log(*error);
    return std::nullopt;
  }
  return range;
}

std::optional<uint16_t> RadioLength(TOperationContext& context, uint8_t selector, uint32_t address,
                                    const char* name) {
  if (!context.Engine.SendRepeatAndWait(BuildSbepReadRequest(2, selector, address)))
    return std::nullopt;
  const auto length = LengthReply(context.Engine);
  if (length) context.Log(Format("%s %.4X", name, *length));
  return length;
}

// The "eeprom default" range: base 0, the core and the bonus length summed.
std::optional<TMemoryRange> RadioRange(TOperationContext& context, uint8_t selector) {
  const auto core = RadioLength(context, selector, kCoreLengthAddress, "core len");
  const auto bonus =
      core ? RadioLength(context, selector, kBonusLengthAddress, "bonus len") : std::nullopt;
  if (!bonus) {
    context.Log(
        Format("%s not read: the radio gave no valid answer", core ? "bonus len" : "core len"));
    return std::nullopt;
  }
  if (*core + *bonus == 0) {
    context.Log("nothing to read: the radio reports a length of 0");
    return std::nullopt;
  }
  return TMemoryRange{0, *core + *bonus};
}

// One pass of a transfer over the pieces, a request of at most chunkSize
// bytes each; a chunk whose reply is not accepted is sent again, three
// times at most. Reads and writes differ only in these parts.
struct TChunkPass {
  uint32_t ChunkSize = 0;
  const char* Name = "";     // "read" / "write"
  const char* Doing = "";    // "reading" / "writing", logged with the address
  const char* Stopped = "";  // logged with the address on a stop request
  // The request for the n bytes at address.
  std::function<std::vector<uint8_t>(uint32_t address, uint32_t n)> Request;
  // Takes the reply to the request; false when it is not accepted.
  std::function<bool(uint32_t address, uint32_t n)> Accept;
};

// True when every chunk was accepted and no stop was requested.
bool RunChunks(TOperationContext& context, uint32_t start, const std::vector<AddressRange>& pieces,
               const TChunkPass& pass, const TMemoryProgress& progress) {
  const uint32_t total = TotalLength(pieces);
  Report(progress, 0, total, start);
  uint32_t done = 0;
  for (const AddressRange& piece : pieces) {
    int failures = 0;
    for (uint32_t address = piece.First; address < piece.End();) {
      ServePendingEvents(context);
      if (context.Stopping()) {
        context.Log(Format("%s stopped at %X: %s", pass.Name, address, pass.Stopped));
        return false;
      }
      // A chunk ends where its piece ends: for a write, the gap after it is
      // not the file's to fill.
      const uint32_t n = std::min(pass.ChunkSize, piece.End() - address);
      context.Log(Format("%s at %X", pass.Doing, address));
      if (!context.Engine.SendRepeatAndWait(pass.Request(address, n))) return false;
      if (!pass.Accept(address, n)) {
        if (++failures < kChunkTries) continue;
        context.Log(Format("failed GetSbepPktLen at retry %d", failures));
        return false;
      }
      failures = 0;
      address += n;
      done += n;
      Report(progress, done, total, address);
    }
  }
  return true;
}

std::optional<TMemoryReadResult> ReadPieces(TOperationContext& context, TMemoryDevice device,
                                            uint32_t base, uint32_t length,
                                            const std::vector<AddressRange>& pieces,
                                            const TMemoryProgress& progress) {
  TMemoryReadResult result{std::vector<uint8_t>(length), base};
  const TChunkPass pass{
      kSbepReadChunk,
      "read",
      "reading",
      "nothing saved",
      [&](uint32_t address, uint32_t n) {
        return BuildSbepReadRequest(static_cast<uint8_t>(n), device.Selector, address);
      },
      [&](uint32_t address, uint32_t n) {
        const auto data = ReadData(context.Engine, n);
        if (!data) return false;
        std::copy(data->begin(), data->end(), result.Image.begin() + (address - base));
        return true;
      }};
  if (!RunChunks(context, base, pieces, pass, progress)) return std::nullopt;
  return result;
}

std::optional<TMemoryReadResult> ReadRange(TOperationContext& context, TMemoryDevice device,
                                           TMemoryRange range, const TMemoryReadJob& job) {
  const auto base = static_cast<uint32_t>(range.Base);
  const auto length = static_cast<uint32_t>(range.Length);
  return ReadPieces(context, device, base, length, RangePieces(job.Ranges, base, length),
                    job.Progress);
}

bool WritePieces(TOperationContext& context, TMemoryDevice device,
                 const std::vector<uint8_t>& image, uint32_t start,
                 const std::vector<AddressRange>& pieces, const TMemoryProgress& progress) {
  const TChunkPass pass{kSbepWriteChunk,
                        "write",
                        "writing",
                        "the radio's memory is partly written",
                        [&](uint32_t address, uint32_t n) {
                          return BuildSbepWriteRequest(image.data() + address,
                                                       static_cast<uint8_t>(n), device.Selector,
                                                       address);
                        },
                        [&](uint32_t, uint32_t) { return WriteAccepted(context.Engine); }};
  return RunChunks(context, start, pieces, pass, progress);
}

bool WriteRange(TOperationContext& context, TMemoryDevice device, const std::vector<uint8_t>& image,
                TMemoryRange range, const TMemoryWriteJob& job) {
  const std::vector<AddressRange> pieces = RangePieces(
      job.Ranges, static_cast<uint32_t>(range.Base), static_cast<uint32_t>(range.Length));
  if (!WritePieces(context, device, image, static_cast<uint32_t>(range.Base), pieces, job.Progress))
    return false;
  context.Log("success");
  return true;
}

}  // namespace

TMemoryDevice SelectMemoryDevice(int item) {
  switch (item) {
    case EepromDefault:
    case EepromCustom: return {0x00, 0};
    case Flash1: return {0x40, 2};
    case Flash2: return {0x50, 3};
    case Direct: return {0x80, 1};
    default: return {0x00, 0};
  }
}

std::vector<uint8_t> BuildMemoryAccess(bool opening, uint8_t mode) {
  std::vector<uint8_t> frame{0x00, static_cast<uint8_t>(((mode & 0x03) << 1) | (opening ? 1 : 0)),
                             0x01, 0x08};
  frame.push_back(Crc16(frame.data(), 4, 0x00FF));
  return frame;
}

std::vector<uint8_t> BuildSbepReadRequest(uint8_t count, uint8_t selector, uint32_t address) {
  std::vector<uint8_t> request{0xF5, 0x11, count};
  AppendAddress(request, selector, address);
  AppendChecksum(request);
  return request;
}

std::vector<uint8_t> BuildSbepWriteRequest(const uint8_t* data, uint8_t count, uint8_t selector,
                                           uint32_t address) {
  const unsigned size = count + 4u;
  std::vector<uint8_t> request{0xFF, 0x17, static_cast<uint8_t>(size >> 8),
                               static_cast<uint8_t>(size)};
  request.reserve(count + 8u);
  AppendAddress(request, selector, address);
  request.insert(request.end(), data, data + count);
  AppendChecksum(request);
  return request;
}

bool SendMemoryAccess(TSb9600& engine, bool opening, uint8_t mode) {
  return engine.SendRepeatAndWait(BuildMemoryAccess(opening, mode));
}

TMemoryRange ParseMemoryRange(const TMemoryFields& fields) {
  const int32_t base = HexToInt(fields.Base);
  return {base, HexToInt(fields.Length)};
}

std::optional<std::string> MemoryRangeError(TMemoryRange range, std::optional<size_t> imageSize) {
  const int64_t end = int64_t{range.Base} + range.Length;
  const auto refused = [&](const char* where) {
    return Format("memory range refused: base %X length %X lies outside %s",
                  static_cast<uint32_t>(range.Base), static_cast<uint32_t>(range.Length), where);
  };
  if (range.Base < 0 || range.Length < 0 || end > int64_t{kMemoryAddressLimit})
    return refused("the addresses 0 to FFFFF");
  if (imageSize && end > static_cast<int64_t>(*imageSize))
    return refused(Format("the loaded image (%zX bytes)", *imageSize).c_str());
  return std::nullopt;
}

std::vector<AddressRange> RangePieces(const std::vector<AddressRange>& ranges, uint32_t base,
                                      uint32_t length) {
  const uint32_t end = base + length;
  if (ranges.empty())
    return length == 0 ? std::vector<AddressRange>{} : std::vector{AddressRange{base, length}};
  std::vector<AddressRange> pieces;
  for (const AddressRange& range : ranges) {
    const uint32_t first = std::max(range.First, base);
    const uint32_t last = std::min(range.End(), end);
    if (first < last) pieces.push_back({first, last - first});
  }
  return pieces;
}

std::optional<std::string> MemoryReadRangeError(TMemoryRange range) {
  // A read of no bytes would save an empty file in place of the operator's.
  if (range.Length == 0) return "memory read refused: a length of 0 reads nothing";
  return MemoryRangeError(range);
}

std::optional<TMemoryReadResult> ReadMemory(TOperationContext& context, const TMemoryReadJob& job) {
  const bool fromRadio = job.Device == EepromDefault;
  if (!fromRadio && RefusedBeforeOpening(context, job.Fields(), std::nullopt, true))
    return std::nullopt;
  const TMemoryDevice device = SelectMemoryDevice(job.Device);
  return Framed(context, device, [&]() -> std::optional<TMemoryReadResult> {
    const auto range = fromRadio ? RadioRange(context, device.Selector)
                                 : FieldRange(context, job.Fields, {}, true);
    if (!range) return std::nullopt;
    return ReadRange(context, device, *range, job);
  });
}

bool WriteMemory(TOperationContext& context, const TMemoryWriteJob& job) {
  static const std::vector<uint8_t> kNoImage;
  const std::vector<uint8_t>& image = job.Image ? *job.Image : kNoImage;
  if (RefusedBeforeOpening(context, job.Fields(), image.size(), false)) return false;
  const TMemoryDevice device = SelectMemoryDevice(job.Device);
  return Framed(context, device, [&] {
    const auto range = FieldRange(context, job.Fields, image.size(), false);
    return range && WriteRange(context, device, image, *range, job);
  });
}

uint32_t TotalLength(const std::vector<AddressRange>& pieces) {
  uint32_t total = 0;
  for (const AddressRange& piece : pieces) total += piece.Length;
  return total;
}

bool WriteRangeRefused(TOperationContext& context, const TMemoryFields& fields, size_t imageSize) {
  return RefusedBeforeOpening(context, fields, imageSize, false);
}

}  // namespace kestrune
