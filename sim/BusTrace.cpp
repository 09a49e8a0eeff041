#include "sim/BusTrace.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "sim/Frames.h"

namespace kestrune::sim {

std::string FormatTraceLine(const TraceEvent& event, const std::string& timestamp) {
  const char* source = event.source == TraceEvent::Source::Program ? "PC>"
                       : event.source == TraceEvent::Source::Radio ? "RADIO>"
                                                                   : "--";
  char head[64];
  std::snprintf(head, sizeof head, "%s  %-7s %-8s ", timestamp.c_str(), source,
                event.label.c_str());
  std::string line = head + event.text;
  if (!event.bytes.empty()) line += "  [" + HexBytes(event.bytes) + "]";
  return line;
}

std::string WallClockTimestamp() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03lld", local.tm_hour, local.tm_min,
                local.tm_sec, static_cast<long long>(millis));
  return text;
}

}  // namespace kestrune::sim
