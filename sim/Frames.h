// Frames of the radio bus as the simulated radio sees them.
//
// SB9600: 5 bytes (first byte, data high, data low, opcode, CRC-8 check byte).
// SBEP: header (opcode nibble, size nibble), an extended opcode byte when the
// opcode nibble is 0xF, a 16-bit size when the size nibble is 0xF, then size
// bytes: payload and a checksum that makes the byte sum of the packet 0xFF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "protocol/OpcodeTables.h"

namespace kestrune::sim {

inline constexpr size_t kSb9600FrameSize = 5;
inline constexpr uint8_t kAckOk = 0x50;
inline constexpr uint8_t kAckRefused = 0x60;

// SB9600 opcodes the radio acts on.
inline constexpr uint8_t kOpExpandedProtocolRequest = 0x06;
inline constexpr uint8_t kOpMemoryAccess = 0x08;
inline constexpr uint8_t kOpChannelNumber = 0x3F;

// SBEP opcodes the radio acts on.
inline constexpr uint8_t kSbepReadRequest = 0x11;
inline constexpr uint8_t kSbepWriteRequest = 0x17;
inline constexpr uint8_t kSbepTune = 0x2B;
inline constexpr uint8_t kSbepReadReply = 0x80;
inline constexpr uint8_t kSbepWriteReply = 0x84;
inline constexpr uint8_t kSbepDisplayHeader = 0x1F;  // opcode 1, 16-bit size

// Four bytes followed by their check byte.
std::vector<uint8_t> BuildSb9600Frame(uint8_t first, uint8_t dataHigh, uint8_t dataLow,
                                      uint8_t opcode);
// At least five bytes whose first five carry a correct check byte.
bool IsValidSb9600Frame(std::span<const uint8_t> bytes);

struct SbepLayout {
  size_t headerLength;  // header, extended opcode and size field
  size_t size;          // bytes after the header part: payload and checksum
  size_t Total() const { return headerLength + size; }
};
// The layout announced by the packet's first bytes, or nothing while too few
// bytes are there to say.
std::optional<SbepLayout> SbepPacketLayout(std::span<const uint8_t> bytes);
// A complete packet whose byte sum is 0xFF (header-only packets have no
// checksum and always pass).
bool HasValidSbepChecksum(std::span<const uint8_t> packet);
// Extended opcode (header 0xF?) or the opcode nibble.
uint8_t SbepOpcode(std::span<const uint8_t> packet);
bool HasExtendedOpcode(std::span<const uint8_t> packet);

// An SBEP packet with an extended opcode around `payload`, checksum appended;
// the size goes in the header nibble when it fits (and `wideSize` is false),
// else in a 16-bit field.
std::vector<uint8_t> BuildSbepPacket(uint8_t extendedOpcode, std::span<const uint8_t> payload,
                                     bool wideSize = false);

// Name of an SB9600 opcode, or nullptr.
const char* Sb9600OpcodeName(uint8_t opcode);
// The request table's entry for an SBEP extended opcode, or nullptr.
const SbepRequestOpcode* FindSbepRequest(uint8_t opcode);

// "00 12 01 06 02"
std::string HexBytes(std::span<const uint8_t> bytes);
// Reads "7E 00" or "7e00"; nothing for an odd digit count or a non-hex digit.
std::optional<std::vector<uint8_t>> ParseHexBytes(const std::string& text);

}  // namespace kestrune::sim
