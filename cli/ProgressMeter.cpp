#include "cli/ProgressMeter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cli/CliOutput.h"

namespace kestrune::cli {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

}  // namespace

std::string FormatBytes(uint64_t bytes) {
  char text[32];
  if (bytes < 1024) {
    std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(bytes));
  } else if (bytes < 1024 * 1024) {
    std::snprintf(text, sizeof text, "%.1f KiB", static_cast<double>(bytes) / 1024);
  } else {
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024 * 1024));
  }
  return text;
}

std::string FormatDuration(double seconds) {
  const auto whole = static_cast<long long>(std::ceil(std::max(seconds, 0.0)));
  char text[32];
  if (whole >= 3600)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60,
                  whole % 60);
  else
    std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
  return text;
}

std::string FormatProgress(uint64_t done, uint64_t total, double seconds, int barWidth) {
  const double share = total == 0 ? 1.0 : static_cast<double>(std::min(done, total)) / total;
  const int filled = static_cast<int>(share * barWidth);
  std::string line = "[" + std::string(filled, '#') + std::string(barWidth - filled, '.') + "]  ";
  line += FormatBytes(done) + " of " + FormatBytes(total) + "  ";
  if (done == 0 || seconds <= 0) return line + "-- B/s  --:-- left";
  const double rate = static_cast<double>(done) / seconds;
  line += FormatBytes(static_cast<uint64_t>(rate)) + "/s  ";
  return line + FormatDuration(static_cast<double>(total - std::min(done, total)) / rate) + " left";
}

TProgressMeter::TProgressMeter(TCliOutput& output, uint64_t total)
    : output_(output), total_(total), start_(Clock::now()), lastDrawn_(start_ - kRedrawInterval) {
  Update(0);
}

TProgressMeter::~TProgressMeter() { output_.EndProgress(); }

void TProgressMeter::Update(uint64_t done) {
  if (!output_.ShowsProgress()) return;
  const auto now = Clock::now();
  if (done < total_ && now - lastDrawn_ < kRedrawInterval) return;
  lastDrawn_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  output_.Progress(FormatProgress(done, total_, seconds));
}

}  // namespace kestrune::cli
