// The protocol's vocabulary as data: names of SB9600 opcodes, names of SBEP
// request opcodes, and the reply opcode the radio sends for each request.
// The engine fills its three maps from these tables; the simulated radio and
// its bus trace use them too.
#pragma once

#include <cstdint>
#include <span>

namespace kestrune {

struct OpcodeName {
  uint8_t opcode;
  const char* name;
};

struct SbepRequestOpcode {
  uint8_t request;  // extended opcode: byte 1 of an SBEP packet whose header is 0xF?
  const char* name;
  uint8_t reply;  // opcode of the reply packet the radio sends back
};

// 95 entries: byte 3 of an SB9600 frame to its name.
std::span<const OpcodeName> Sb9600OpcodeNames();

// 26 entries: SBEP request opcode, its name and its reply opcode.
std::span<const SbepRequestOpcode> SbepRequestOpcodes();

}  // namespace kestrune
