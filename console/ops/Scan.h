// The channel scan: sets the channels From, From + 1, ..., To - 1 one after
// the other through SetChannel, logs "channel %d set" for each and pauses
// after it, so that the operator can listen to every channel in turn.
//
// The scan reads the operator's choices (direction, step, 800 MHz, SBEP)
// afresh before every channel, so a change made during the scan takes effect
// at the next channel. Before each channel it asks whether the operator
// still wants it to run and whether the program is closing; either ends it
// there. A channel's exchange is never cut. The pause runs out after a stop
// by the operator (the channel keeps its full pause), but ends at once when
// the program is closing, so a long delay cannot hold up the close.
//
// The pause sleeps in the event pump on a one-shot timer: the owner's events
// (a click on Stop, a click that starts a new scan inside this one's pause,
// the window's close) are served meanwhile, and nothing spins.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "console/ops/Operation.h"
#include "console/ops/Tune.h"

namespace kestrune {

class EventPump;

// Shorter pauses are raised to this.
inline constexpr int32_t kMinScanPauseMs = 100;
// What a scan sends with every SBEP tune frame: option byte 0x11
// ("12.5KHz/C4FM", "Mute", "Continuous Yes") and frames 0x0002.
inline constexpr int kScanModulationIndex = 0;
inline constexpr int kScanAudioIndex = 0;
inline constexpr int kScanContinuousIndex = 1;
inline constexpr uint16_t kScanFrames = 0x0002;

struct TScanRange {
  int32_t From = 0;
  int32_t To = 0;  // the end of the range, not itself sent
  int32_t DelayMs = 3000;
};

// The operator's choices for one channel.
struct TScanChoices {
  int StepIndex = 0;
  bool Rx = true;
  bool Is800 = false;
  bool Sbep = false;
};

// The scan's surroundings. Every function must be set.
struct TScanHooks {
  EventPump& Pump;
  std::function<void(const std::string&)> Log;
  // The program is closing: the scan ends before its next channel and its
  // pause ends at once.
  std::function<bool()> Closing;
  // The operator has not stopped the scan.
  std::function<bool()> Running;
  std::function<TScanChoices()> ReadChoices;
  // Before each channel's exchange: the channel and the share of the range
  // done before it, 0 to 99.
  std::function<void(int32_t channel, int percent)> ShowChannel;
  // Runs fn in the context of the current bus engine. Without one it reports
  // that ("Port is not open") and returns without calling fn; the scan goes
  // on with its log line and pause.
  std::function<void(const std::function<void(TOperationContext&)>& fn)> WithEngine;
};

// The pause after each channel for a delay the operator typed.
int32_t ScanPauseMs(int32_t delayMs);

// (channel - from) x 100 / (to - from), truncated.
int ScanProgress(int32_t from, int32_t to, int32_t channel);

// What a scan sends for one channel: the choices and the fixed SBEP options.
TChannelSetting ScanChannelSetting(int32_t channel, const TScanChoices& choices);

// Runs one scan over range and returns when it has ended: the number of
// channels the radio did not take (SetChannel's result; a channel for which
// there was no engine counts too). The window does not look at it;
// kestrune-cli turns it into its exit status.
int RunScan(const TScanHooks& hooks, const TScanRange& range);

}  // namespace kestrune
