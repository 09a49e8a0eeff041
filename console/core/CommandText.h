// Packet bytes as operator text: space-separated hexadecimal tokens, one byte
// per token (the low 8 bits of its value), e.g. "01 0A FF".
//
// Only the space character separates tokens; a tab is an ordinary (invalid)
// character inside a token. Every failure is an EConvertError (IntConv.h)
// naming the offending token with "$" in front; nothing is returned then.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrune {

// Reads command byte text: tokens are unprefixed hex numbers of up to eight
// significant digits; empty text or spaces only give no bytes.
std::vector<uint8_t> ParseCommandBytes(const std::string& text);

// Accepts the looser operator syntax ("0x" prefixes, "#", "$" and commas),
// reads it with ParseCommandBytes and returns the canonical text.
std::string NormalizeCommandText(const std::string& text);

// The canonical text of bytes: two upper-case hex digits per byte, separated
// by one space, no leading or trailing space; no bytes give "".
std::string FormatCommandBytes(const std::vector<uint8_t>& bytes);

}  // namespace kestrune
