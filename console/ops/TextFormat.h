// printf-style formatting into a std::string, for the operations' log
// lines. Internal to console/ops.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

namespace kestrune {

__attribute__((format(gnu_printf, 1, 2))) inline std::string Format(const char* format, ...) {
  char text[160];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

}  // namespace kestrune
