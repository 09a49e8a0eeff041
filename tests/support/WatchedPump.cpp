#include "tests/support/WatchedPump.h"

namespace kestrune::test {
namespace {

// A run that was started and is found no longer enabled, without a
// Disable() in between, has run out.
class WatchedTimer final : public PumpTimer {
 public:
  WatchedTimer(std::unique_ptr<PumpTimer> inner, WatchedPump::Counts& counts)
      : inner_(std::move(inner)), counts_(counts) {}
  ~WatchedTimer() override { NoteExpiry(); }

  void Enable() override {
    NoteExpiry();
    if (!running_) ++counts_.starts;
    running_ = true;
    inner_->Enable();
  }
  void Disable() override {
    NoteExpiry();
    running_ = false;
    inner_->Disable();
  }
  bool Enabled() const override { return inner_->Enabled(); }

 private:
  void NoteExpiry() {
    if (running_ && !inner_->Enabled()) {
      ++counts_.expiries;
      running_ = false;
    }
  }

  std::unique_ptr<PumpTimer> inner_;
  WatchedPump::Counts& counts_;
  bool running_ = false;
};

}  // namespace

std::unique_ptr<PumpTimer> WatchedPump::CreateTimer(std::chrono::milliseconds interval) {
  return std::make_unique<WatchedTimer>(inner_.CreateTimer(interval), counts_[interval]);
}

int WatchedPump::Starts(std::chrono::milliseconds interval) const {
  const auto it = counts_.find(interval);
  return it == counts_.end() ? 0 : it->second.starts;
}

int WatchedPump::Expiries(std::chrono::milliseconds interval) const {
  const auto it = counts_.find(interval);
  return it == counts_.end() ? 0 : it->second.expiries;
}

}  // namespace kestrune::test
