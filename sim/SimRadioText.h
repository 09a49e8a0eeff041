// Small helpers the simulated radio's files share: printf-style trace text
// and the 20-bit address of a memory request.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

namespace kestrune::sim {

__attribute__((format(printf, 1, 2))) inline std::string Format(const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

inline uint32_t RequestAddress(std::span<const uint8_t> addressBytes) {
  return (uint32_t{addressBytes[0] & 0x0Fu} << 16) | (uint32_t{addressBytes[1]} << 8) |
         addressBytes[2];
}

}  // namespace kestrune::sim
