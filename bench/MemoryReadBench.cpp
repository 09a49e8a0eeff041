// The "eeprom default" memory read (opening, two length requests, 45 chunks,
// closing) against the simulated radio in this process, timed against its
// protocol floor: the pauses the engine must sleep whatever the radio does,
// that is the post-send pause of every frame the radio received (from the
// engine's own PostSendDelayMs) plus the DTR pulse of every SBEP entry.
// The radio answers at once, so the ratio shows what the operation and the
// engine add on top of those pauses. With --pacing the radio sends its bytes
// at the line's pace (12 bit times a byte), for comparison.
// Then one run each of four writes of the "eeprom custom" range: full,
// full with its read-back, read + changed chunks + read-back, and the same
// with the read saved as a backup file first (the window's default).
// Usage: kestrune_bench_memory [runs, default 5] [--pacing]
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "console/ops/CheckedWrite.h"
#include "console/ops/MemoryTransfer.h"
#include "protocol/PlainEventPump.h"
#include "protocol/SB9600.h"
#include "tests/support/InProcessPorts.h"

namespace kestrune {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int32_t kBaud = 9600;
constexpr uint8_t kExpandedProtocolOpcode = 0x06;

struct RunFigures {
  double wallMs = 0;
  double floorMs = 0;
  size_t frames = 0;
  size_t bytesRead = 0;
};

double FloorMs(const std::deque<sim::ReceivedFrame>& frames) {
  double floor = 0;
  for (const sim::ReceivedFrame& frame : frames) {
    floor += TSb9600::PostSendDelayMs(kBaud, static_cast<int32_t>(frame.bytes.size()));
    const bool sbepEntry = frame.kind == sim::ReceivedFrame::Kind::Sb9600 &&
                           frame.bytes.size() == 5 && frame.bytes[3] == kExpandedProtocolOpcode;
    if (sbepEntry) floor += static_cast<double>(TSb9600::kSbepEntryDtrPulse.count());
  }
  return floor;
}

// The engine on a port to the simulated radio in this process, and an
// operation context over it that logs nothing.
struct Bench {
  sim::InProcessRadio radio;
  PlainEventPump pump;
  TSb9600 engine{pump, test::InProcessPorts(radio)};
  TOperationContext context{engine, pump, [](const std::string&) {}, {}};

  Bench() { engine.CreatePort("COM1", kBaud, 8, 0, 0, false, false); }

  // The time from start to now against the floor of the frames the radio
  // received.
  RunFigures Measure(Clock::time_point start, size_t bytes) {
    RunFigures figures;
    figures.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    radio.WithRadio([&](sim::SimRadio& r) {
      figures.floorMs = FloorMs(r.FramesReceived());
      figures.frames = r.FramesReceived().size();
    });
    figures.bytesRead = bytes;
    return figures;
  }
};

RunFigures OneRead(bool pacing) {
  Bench bench;
  if (pacing) {
    sim::Faults faults;
    faults.pacing = true;
    bench.radio.SetFaults(faults);
  }
  const auto t0 = Clock::now();
  const auto read = ReadMemory(bench.context, {EepromDefault, {}, {}, {}});
  return bench.Measure(t0, read ? read->Image.size() : 0);
}

// The "eeprom custom" range 0..B35 written with a file that differs from
// the radio in 3 bytes in 2 places: a full write, a full write and its
// read-back, and a read + the differing chunks + their read-back.
enum class WriteCase { Full, FullVerify, ChangedOnlyVerify, BackupChangedOnlyVerify };

// A folder of this run's own for the backups, removed with them.
struct BackupFolder {
  std::filesystem::path path = std::filesystem::temp_directory_path() /
                               ("kestrune-bench-backups-" + std::to_string(getpid()));
  ~BackupFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

RunFigures OneWrite(WriteCase kind) {
  Bench bench;
  std::vector<uint8_t> file = bench.radio.WithRadio([](sim::SimRadio& r) {
    const auto bytes = r.Memory(sim::MemorySpace::Eeprom).subspan(0, 0xB35);
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
  });
  file[0x100] ^= 1;
  file[0x101] ^= 1;
  file[0x900] ^= 1;
  const TMemoryWriteJob full{EepromCustom, &file, [] { return TMemoryFields{"0", "B35"}; }, {}, {}};

  const BackupFolder backups;
  const bool changedOnly =
      kind == WriteCase::ChangedOnlyVerify || kind == WriteCase::BackupChangedOnlyVerify;
  const TCheckedWriteOptions options{
      changedOnly, kind != WriteCase::Full,
      kind == WriteCase::BackupChangedOnlyVerify ? backups.path.string() : std::string()};
  const auto t0 = Clock::now();
  const bool ok = WriteMemoryChecked(bench.context, full, options).Succeeded();
  return bench.Measure(t0, ok ? file.size() : 0);
}

}  // namespace
}  // namespace kestrune

int main(int argc, char** argv) {
  int runs = 5;
  bool pacing = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--pacing") == 0)
      pacing = true;
    else
      runs = std::max(1, std::atoi(argv[i]));
  }
  std::printf("\"eeprom default\" read, %d runs at %d baud%s\n", runs, kestrune::kBaud,
              pacing ? ", radio paced at the line's speed" : "");
  std::vector<double> ratios;
  for (int run = 1; run <= runs; ++run) {
    const kestrune::RunFigures f = kestrune::OneRead(pacing);
    const double ratio = f.wallMs / f.floorMs;
    ratios.push_back(ratio);
    std::printf("run %d: %zu bytes, %zu frames, %.1f ms, floor %.0f ms, ratio %.4f\n", run,
                f.bytesRead, f.frames, f.wallMs, f.floorMs, ratio);
  }
  std::sort(ratios.begin(), ratios.end());
  std::printf("ratio: best %.4f, median %.4f, worst %.4f (goal 1.03 or less)\n", ratios.front(),
              ratios[ratios.size() / 2], ratios.back());
  using kestrune::WriteCase;
  const std::pair<WriteCase, const char*> cases[]{
      {WriteCase::Full, "full write"},
      {WriteCase::FullVerify, "full write + verify"},
      {WriteCase::ChangedOnlyVerify, "read + changed chunks + verify"},
      {WriteCase::BackupChangedOnlyVerify, "backup + changed chunks + verify"}};
  std::printf("\"eeprom custom\" 0..B35 write, file differs in 3 bytes in 2 places\n");
  for (const auto& [kind, name] : cases) {
    const kestrune::RunFigures f = kestrune::OneWrite(kind);
    std::printf("%s: %s, %zu frames, %.1f ms, floor %.0f ms, ratio %.4f\n", name,
                f.bytesRead ? "ok" : "FAILED", f.frames, f.wallMs, f.floorMs, f.wallMs / f.floorMs);
  }
  return 0;
}
