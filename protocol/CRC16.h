// Check values of the radio bus.
//
// SB9600 frames end with a CRC-8 (reflected, polynomial 0xCF, initial value 0,
// no final XOR), computed either through Crc16Table with a 16-bit working
// register (Crc16, the builders' form) or bit by bit (Sb9600Crc, the checkers'
// form). SBEP packets end with the complement of their 8-bit byte sum.
//
// Every routine reads the first n bytes of what it is given and reads none
// when n <= 0; the caller guarantees that n bytes are there.
#pragma once

#include <array>
#include <cstdint>

namespace kestrune {

// The constant the radio bus uses; BuildCrc16Table(kSb9600CrcConstant) gives
// the table every SB9600 check byte is computed with.
inline constexpr uint16_t kSb9600CrcConstant = 0x00CF;

// Low byte always 0, high byte the CRC-8 of the single byte i.
// Holds the table for kSb9600CrcConstant from program load on, so a routine
// called before BuildCrc16Table still gives the right answer; the program
// builds it once more at start-up, before any window exists.
extern std::array<uint16_t, 256> Crc16Table;

// Fills Crc16Table for the constant c. Not thread-safe: call it before any
// thread that computes check values is started.
void BuildCrc16Table(uint16_t c);

// One table step: the new 16-bit register after byte b.
uint16_t Crc16Step(uint8_t b, uint16_t r);

// High byte of the register after the first n bytes, starting from start.
// With start 0x00FF this is the SB9600 check byte.
uint8_t Crc16(const uint8_t* bytes, int32_t n, uint16_t start);

// CRC-8 of the first n bytes, bit by bit; 0 over a whole valid frame.
uint8_t Sb9600Crc(const uint8_t* bytes, int32_t n);

// Sum of the first n bytes modulo 256.
uint8_t ByteSum(const uint8_t* bytes, int32_t n);

// 0xFF - ByteSum: the SBEP checksum byte.
uint8_t InvertedByteSum(const uint8_t* bytes, int32_t n);

}  // namespace kestrune
