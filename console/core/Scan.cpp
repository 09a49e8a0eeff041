#include "console/core/Scan.h"

#include <algorithm>
#include <chrono>

#include "protocol/EventPump.h"

namespace kestrune {

namespace {

// Sleeps in the pump until the pause's timer has run out, or at once when
// the program starts closing.
void PauseAfterChannel(const TScanHooks& hooks, PumpTimer& timerScan) {
  timerScan.Enable();
  while (timerScan.Enabled() && !hooks.Closing()) hooks.Pump.WaitForEvents();
  timerScan.Disable();
}

}  // namespace

int32_t ScanPauseMs(int32_t delayMs) { return std::max(delayMs, kMinScanPauseMs); }

int ScanProgress(int32_t from, int32_t to, int32_t channel) {
  const int64_t span = int64_t{to} - from;
  if (span <= 0) return 0;
  return static_cast<int>((int64_t{channel} - from) * 100 / span);
}

TChannelSetting ScanChannelSetting(int32_t channel, const TScanChoices& choices) {
  TChannelSetting setting;
  setting.Channel = channel;
  setting.StepIndex = choices.StepIndex;
  setting.Rx = choices.Rx;
  setting.Is800 = choices.Is800;
  setting.Sbep = choices.Sbep;
  setting.ModulationIndex = kScanModulationIndex;
  setting.AudioIndex = kScanAudioIndex;
  setting.ContinuousIndex = kScanContinuousIndex;
  setting.Frames = kScanFrames;
  return setting;
}

int RunScan(const TScanHooks& hooks, const TScanRange& range) {
  int notTaken = 0;
  const auto timerScan =
      hooks.Pump.CreateTimer(std::chrono::milliseconds(ScanPauseMs(range.DelayMs)));
  // The end of the range is not sent, so the channel never passes int32_t.
  for (int32_t channel = range.From; hooks.Running() && channel < range.To && !hooks.Closing();
       ++channel) {
    hooks.ShowChannel(channel, ScanProgress(range.From, range.To, channel));
    const TChannelSetting setting = ScanChannelSetting(channel, hooks.ReadChoices());
    bool taken = false;
    hooks.WithEngine([&](TOperationContext& context) { taken = SetChannel(context, setting); });
    if (!taken) ++notTaken;
    hooks.Log("channel " + std::to_string(channel) + " set");
    PauseAfterChannel(hooks, *timerScan);
  }
  return notTaken;
}

}  // namespace kestrune
