#include "protocol/PlainEventPump.h"

#include <algorithm>
#include <cassert>

namespace kestrune {

class PlainEventPump::Timer final : public PumpTimer {
 public:
  Timer(PlainEventPump& pump, std::chrono::milliseconds interval)
      : FPump(pump), FInterval(interval) {
    FPump.FTimers.push_back(this);
  }
  ~Timer() override { std::erase(FPump.FTimers, this); }

  void Enable() override {
    if (FEnabled) return;
    FEnabled = true;
    FDue = Clock::now() + FInterval;
  }
  void Disable() override { FEnabled = false; }
  bool Enabled() const override { return FEnabled; }

  bool Due(Clock::time_point now) const { return FEnabled && FDue <= now; }
  Clock::time_point DueTime() const { return FDue; }

 private:
  PlainEventPump& FPump;
  const std::chrono::milliseconds FInterval;
  bool FEnabled = false;
  Clock::time_point FDue{};
};

PlainEventPump::~PlainEventPump() { assert(FTimers.empty()); }

std::unique_ptr<PumpTimer> PlainEventPump::CreateTimer(std::chrono::milliseconds interval) {
  return std::make_unique<Timer>(*this, interval);
}

void PlainEventPump::Post(std::function<void()> fn) {
  {
    std::lock_guard lock(FLock);
    FPosted.push_back(std::move(fn));
  }
  FEvent.notify_one();
}

void PlainEventPump::Wake() {
  {
    std::lock_guard lock(FLock);
    FWakePending = true;
  }
  FEvent.notify_one();
}

void PlainEventPump::WaitForEvents() {
  std::deque<std::function<void()>> posted;
  {
    std::unique_lock lock(FLock);
    const auto pending = [this] { return FWakePending || !FPosted.empty(); };
    Clock::time_point due;
    if (EarliestDeadline(due))
      FEvent.wait_until(lock, due, pending);
    else
      FEvent.wait(lock, pending);
    FWakePending = false;
    posted.swap(FPosted);
  }
  ExpireDueTimers();
  // Posted functions may wait in this pump themselves; they run unlocked.
  for (auto& fn : posted) fn();
}

bool PlainEventPump::EarliestDeadline(Clock::time_point& due) const {
  bool any = false;
  for (const Timer* timer : FTimers) {
    if (!timer->Enabled()) continue;
    if (!any || timer->DueTime() < due) due = timer->DueTime();
    any = true;
  }
  return any;
}

void PlainEventPump::ExpireDueTimers() {
  const auto now = Clock::now();
  for (Timer* timer : FTimers)
    if (timer->Due(now)) timer->Disable();
}

}  // namespace kestrune
