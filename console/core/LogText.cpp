#include "console/core/LogText.h"

#include <cstdio>
#include <ctime>

namespace kestrune {

std::string LogTimeOfDay() {
  // Formatting the time is the dearest part of a line; within one second
  // every line of a thread reuses the text.
  thread_local time_t lastSecond = -1;
  thread_local std::string lastText;
  const time_t now = time(nullptr);
  if (now != lastSecond) {
    tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    lastText = text;
    lastSecond = now;
  }
  return lastText;
}

std::string FormatLogLine(const std::string& timeOfDay, const std::string& s) {
  return timeOfDay + "  " + s;
}

std::vector<std::string> FormatDumpLines(const uint8_t* p, int32_t len, const std::string& dir,
                                         const std::string& sig) {
  std::vector<std::string> lines;
  if (len <= 0) return lines;

  static constexpr char kHex[] = "0123456789ABCDEF";
  const std::string tail = sig.empty() ? std::string() : "    " + sig;
  std::string head = dir + "(" + std::to_string(len) + ") ";
  std::string text;
  const auto emit = [&] {
    lines.push_back(head + "  |  " + text + tail);
    head.clear();
    text.clear();
  };
  for (int32_t i = 0; i < len; ++i) {
    const uint8_t b = p[i];
    head += kHex[b >> 4];
    head += kHex[b & 0x0F];
    head += ' ';
    text += (b >= 0x20 && b <= 0x7F) ? static_cast<char>(b) : '?';
    if (i % 16 == 15) emit();
  }
  if (!head.empty()) emit();
  return lines;
}

}  // namespace kestrune
