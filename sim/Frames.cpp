#include "sim/Frames.h"

#include <cctype>
#include <cstdio>

#include "protocol/CRC16.h"

namespace kestrune::sim {

std::vector<uint8_t> BuildSb9600Frame(uint8_t first, uint8_t dataHigh, uint8_t dataLow,
                                      uint8_t opcode) {
  std::vector<uint8_t> frame{first, dataHigh, dataLow, opcode};
  frame.push_back(Crc16(frame.data(), 4, 0x00FF));
  return frame;
}

bool IsValidSb9600Frame(std::span<const uint8_t> bytes) {
  return bytes.size() >= kSb9600FrameSize && Sb9600Crc(bytes.data(), kSb9600FrameSize) == 0;
}

std::optional<SbepLayout> SbepPacketLayout(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return std::nullopt;
  const bool extended = (bytes[0] >> 4) == 0xF;
  const uint8_t sizeNibble = bytes[0] & 0x0F;
  const size_t opcodeLength = extended ? 2 : 1;
  if (sizeNibble != 0xF) return SbepLayout{opcodeLength, sizeNibble};
  if (bytes.size() < opcodeLength + 2) return std::nullopt;
  const size_t size = (size_t{bytes[opcodeLength]} << 8) | bytes[opcodeLength + 1];
  return SbepLayout{opcodeLength + 2, size};
}

bool HasValidSbepChecksum(std::span<const uint8_t> packet) {
  const auto layout = SbepPacketLayout(packet);
  if (!layout || packet.size() < layout->Total()) return false;
  if (layout->size == 0) return true;
  return ByteSum(packet.data(), static_cast<int32_t>(layout->Total())) == 0xFF;
}

bool HasExtendedOpcode(std::span<const uint8_t> packet) {
  return packet.size() >= 2 && (packet[0] >> 4) == 0xF;
}

uint8_t SbepOpcode(std::span<const uint8_t> packet) {
  if (packet.empty()) return 0;
  return HasExtendedOpcode(packet) ? packet[1] : static_cast<uint8_t>(packet[0] >> 4);
}

std::vector<uint8_t> BuildSbepPacket(uint8_t extendedOpcode, std::span<const uint8_t> payload,
                                     bool wideSize) {
  const size_t size = payload.size() + 1;  // the checksum counts
  std::vector<uint8_t> packet;
  packet.reserve(size + 4);
  if (size < 0xF && !wideSize) {
    packet = {static_cast<uint8_t>(0xF0 | size), extendedOpcode};
  } else {
    packet = {0xFF, extendedOpcode, static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size)};
  }
  packet.insert(packet.end(), payload.begin(), payload.end());
  packet.push_back(InvertedByteSum(packet.data(), static_cast<int32_t>(packet.size())));
  return packet;
}

const char* Sb9600OpcodeName(uint8_t opcode) {
  for (const OpcodeName& entry : Sb9600OpcodeNames())
    if (entry.opcode == opcode) return entry.name;
  return nullptr;
}

const SbepRequestOpcode* FindSbepRequest(uint8_t opcode) {
  for (const SbepRequestOpcode& entry : SbepRequestOpcodes())
    if (entry.request == opcode) return &entry;
  return nullptr;
}

std::string HexBytes(std::span<const uint8_t> bytes) {
  std::string text;
  text.reserve(bytes.size() * 3);
  char digits[4];
  for (uint8_t b : bytes) {
    std::snprintf(digits, sizeof digits, "%02X", b);
    if (!text.empty()) text += ' ';
    text += digits;
  }
  return text;
}

std::optional<std::vector<uint8_t>> ParseHexBytes(const std::string& text) {
  std::string digits;
  for (char c : text) {
    if (std::isspace(static_cast<unsigned char>(c))) continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    digits += c;
  }
  if (digits.size() % 2 != 0) return std::nullopt;
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < digits.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
  return bytes;
}

}  // namespace kestrune::sim
