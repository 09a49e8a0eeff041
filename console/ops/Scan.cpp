#include "console/ops/Scan.h"

#include <algorithm>
#include <chrono>

#include "protocol/EventPump.h"
#include "protocol/SB9600.h"

namespace kestrune {

namespace {

// The pause timer's expiry. The pump switches a timer off when it fires, so
// the scan's next step is taken when the timer is found switched off.
bool TimerScanTimer(const PumpTimer& TimerScan) { return !TimerScan.Enabled(); }

// Sleeps in the pump until the pause's timer has run out, or at once when
// the scan is stopped or the program starts closing: a stopped scan that sat
// out its pause would hold back the next one, which may not start inside it.
void PauseAfterChannel(const TScanHooks& hooks, PumpTimer& TimerScan) {
  TimerScan.Enable();
  while (!TimerScanTimer(TimerScan) && hooks.Running() && !hooks.Closing())
    hooks.Pump.WaitForEvents();
  TimerScan.Disable();
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
  const auto TimerScan =
      hooks.Pump.CreateTimer(std::chrono::milliseconds(ScanPauseMs(range.DelayMs)));
  // The end of the range is not sent, so the channel never passes int32_t.
  for (int32_t channel = range.From; hooks.Running() && channel < range.To && !hooks.Closing();
       ++channel) {
    hooks.ShowChannel(channel, ScanProgress(range.From, range.To, channel));
    const TChannelSetting setting = ScanChannelSetting(channel, hooks.ReadChoices());
    bool taken = false;
    bool lost = false;
    hooks.WithEngine([&](TOperationContext& context) {
      lost = context.Engine.PortLost();
      if (!lost) taken = SetChannel(context, setting);
      lost = lost || context.Engine.PortLost();
    });
    // An unplugged adapter: the channel was not sent, nor would any other be.
    if (lost) {
      hooks.Log("the port was lost: the scan ends");
      return notTaken + (range.To - channel);
    }
    if (!taken) ++notTaken;
    hooks.Log("channel " + std::to_string(channel) + " set");
    PauseAfterChannel(hooks, *TimerScan);
  }
  return notTaken;
}

}  // namespace kestrune
