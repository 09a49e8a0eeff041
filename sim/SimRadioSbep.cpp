// The simulated radio in SBEP mode: memory reads and writes, the tune frame,
// the display text, and the requests it answers with an empty reply.
#include <utility>

#include "sim/Frames.h"
#include "sim/SimRadio.h"
#include "sim/SimRadioText.h"

namespace kestrune::sim {

// ---- SBEP -------------------------------------------------------------------

void SimRadio::HandleSbepPacket(std::span<const uint8_t> packet, Micros now) {
  const bool valid = HasValidSbepChecksum(packet);
  Record(ReceivedFrame::Kind::Sbep, packet, valid);
  if (!valid) {
    TraceReceived("SBEP", packet, "bad checksum");
    Acknowledge(false, now);
    return;
  }
  if (packet[0] == kSbepDisplayHeader) return HandleDisplay(packet, now);
  if (HasExtendedOpcode(packet)) {
    switch (packet[1]) {
      case kSbepReadRequest: return HandleRead(packet, now);
      case kSbepWriteRequest: return HandleWrite(packet, now);
      case kSbepTune: return HandleTune(packet, now);
      default:
        if (FindSbepRequest(packet[1])) return HandleOtherRequest(packet, now);
    }
  }
  TraceReceived("SBEP", packet, Format("opcode %02X", SbepOpcode(packet)));
  Acknowledge(true, now);
}

void SimRadio::HandleRead(std::span<const uint8_t> packet, Micros now) {
  // F5 11 count selector|address-high address-mid address-low checksum
  const SbepLayout layout = *SbepPacketLayout(packet);
  if (layout.size != 5) {
    TraceReceived("SBEP", packet, "Read_Data_Request: malformed");
    Acknowledge(false, now);
    return;
  }
  const auto body = packet.subspan(layout.headerLength);
  const uint8_t count = body[0];
  const auto addressBytes = body.subspan(1, 3);
  const uint32_t address = RequestAddress(addressBytes);
  const auto space = SpaceFromSelector(addressBytes[0]);
  const bool ok = count > 0 && space && address + count <= kMemorySpaceSize;
  TraceReceived(
      "SBEP", packet,
      ok ? Format("Read_Data_Request: %u bytes at %s %05X", count, SpaceName(*space), address)
         : Format("Read_Data_Request: refused (%u bytes, selector %02X, address %05X)", count,
                  addressBytes[0], address));
  if (!Acknowledge(ok, now)) return;

  const auto data = Memory(*space).subspan(address, count);
  std::vector<uint8_t> payload;
  if (count > 10 && count <= 14) {
    // The program takes up to 14 bytes from byte 5 of the reply, but the
    // address and a 4-bit size leave room for only 10: here the reply has a
    // 16-bit size and one count byte in front of the data instead.
    payload.push_back(count);
    payload.insert(payload.end(), data.begin(), data.end());
    SendReply(BuildSbepPacket(kSbepReadReply, payload, true), Format("read reply: %u bytes", count),
              now);
    return;
  }
  // The address, then the data: at byte 5 under a 4-bit size, at byte 7
  // under a 16-bit one (more than 10 bytes).
  payload.assign(addressBytes.begin(), addressBytes.end());
  payload.insert(payload.end(), data.begin(), data.end());
  SendReply(BuildSbepPacket(kSbepReadReply, payload), Format("read reply: %u bytes", count), now);
}

void SimRadio::HandleWrite(std::span<const uint8_t> packet, Micros now) {
  // FF 17 size-high size-low selector|address-high address-mid address-low data... checksum
  const SbepLayout layout = *SbepPacketLayout(packet);
  const auto body = packet.subspan(layout.headerLength);
  const size_t count = layout.size >= 5 ? layout.size - 4 : 0;
  const auto addressBytes = count ? body.subspan(0, 3) : std::span<const uint8_t>{};
  const uint32_t address = count ? RequestAddress(addressBytes) : 0;
  // Without data there is no address byte; 0xFF selects no space.
  const auto space = SpaceFromSelector(count ? addressBytes[0] : uint8_t{0xFF});
  const bool ok = count > 0 && space && address + count <= kMemorySpaceSize;
  TraceReceived(
      "SBEP", packet,
      ok ? Format("Write_Data_Request: %zu bytes at %s %05X", count, SpaceName(*space), address)
         : std::string("Write_Data_Request: malformed"));
  if (!Acknowledge(ok, now)) return;

  const auto data = body.subspan(3, count);
  std::copy(data.begin(), data.end(), Memory(*space).begin() + address);
  if (const auto bad = faults_.corruptWriteAddress;
      bad && *bad >= address && *bad < address + count) {
    Memory(*space)[*bad] ^= 0xFF;
    Note(Format("stored the byte at %s %05X wrong (fault)", SpaceName(*space), *bad));
  }
  SendReply(BuildSbepPacket(kSbepWriteReply, addressBytes), Format("write reply: %zu bytes", count),
            now);
}

void SimRadio::HandleTune(std::span<const uint8_t> packet, Micros now) {
  // F8 2B 00 option 1A frames-high frames-low channel-high channel-low checksum
  const SbepLayout layout = *SbepPacketLayout(packet);
  const auto body = packet.subspan(layout.headerLength);
  const bool ok = layout.size == 8;
  const SbepTune tune = ok ? SbepTune{body[1], static_cast<uint16_t>((body[3] << 8) | body[4]),
                                      static_cast<uint16_t>((body[5] << 8) | body[6])}
                           : SbepTune{};
  TraceReceived("SBEP", packet,
                ok ? Format("tune: channel %u, frames %04X, option %02X", tune.channel, tune.frames,
                            tune.option)
                   : std::string("tune: malformed"));
  if (!Acknowledge(ok, now)) return;
  lastSbepTune_ = tune;
  lastChannel_ = tune.channel;
}

void SimRadio::HandleDisplay(std::span<const uint8_t> packet, Micros now) {
  // 1F size-high size-low b3 b4 n b6 b7 text(n) attributes(n) checksum
  const SbepLayout layout = *SbepPacketLayout(packet);
  const auto body = packet.subspan(layout.headerLength);
  const size_t n = layout.size >= 6 ? body[2] : 0;
  // A text over 124 bytes does not fit the count byte: refuse what does not add up.
  const bool ok = layout.size >= 6 && layout.size == 2 * n + 6;
  DisplayText display;
  if (ok) {
    display.device = sbepDevice_;
    display.params = {body[0], body[1], body[3], body[4]};
    display.text.assign(body.begin() + 5, body.begin() + 5 + static_cast<ptrdiff_t>(n));
    display.attributes.assign(body.begin() + 5 + static_cast<ptrdiff_t>(n),
                              body.begin() + 5 + static_cast<ptrdiff_t>(2 * n));
  }
  TraceReceived(
      "SBEP", packet,
      ok ? "display text: \"" + display.Text() + "\"" : std::string("display text: malformed"));
  if (!Acknowledge(ok, now)) return;
  lastDisplay_ = std::move(display);
}

void SimRadio::HandleOtherRequest(std::span<const uint8_t> packet, Micros now) {
  const SbepRequestOpcode& request = *FindSbepRequest(packet[1]);
  TraceReceived("SBEP", packet, std::string(request.name) + ": not simulated, empty reply");
  if (!Acknowledge(true, now)) return;
  SendReply(BuildSbepPacket(request.reply, {}), Format("reply %02X", request.reply), now);
}

}  // namespace kestrune::sim
