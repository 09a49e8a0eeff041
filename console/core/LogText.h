// The text of log lines: time stamps and packet dumps, shared by the window
// and kestrune-cli. Apart from the clock, pure functions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrune {

// The current local time as "hh:nn:ss" (hours 00 to 23).
std::string LogTimeOfDay();

// "hh:nn:ss" (hours 00 to 23) + two spaces + s.
std::string FormatLogLine(const std::string& timeOfDay, const std::string& s);

// The lines of a packet dump: 16 bytes per line as "XX " each, "  |  ", the
// bytes as characters (0x20 to 0x7F as themselves, others as "?") and, when
// sig is not empty, four spaces and sig. Only the first line starts with
// "<dir>(<len>) ". A length of 0 or less gives no lines.
std::vector<std::string> FormatDumpLines(const uint8_t* p, int32_t len, const std::string& dir,
                                         const std::string& sig);

}  // namespace kestrune
