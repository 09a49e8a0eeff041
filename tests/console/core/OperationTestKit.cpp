#include "OperationTestKit.h"

#include <algorithm>
#include <stdexcept>

#include "serial/SimulatedModemLines.h"

namespace kestrune::test {

namespace {

// The engine's log callback is a plain function: one kit at a time gets it.
std::atomic<OperationTestKit*> gCurrentKit{nullptr};
std::function<void(const std::string&)> gKitLog;

void EngineLog(const std::string& line) {
  if (gKitLog) gKitLog(line);
}

// Modem lines in memory whose DTR changes reach the radio.
class DtrToRadio : public SimulatedModemLines {
 public:
  explicit DtrToRadio(sim::RadioLink*& radio) : radio_(radio) {}
  int SetModemLines(int fd, int lines) override {
    const int r = SimulatedModemLines::SetModemLines(fd, lines);
    if (radio_) radio_->SetDtr(Dtr());
    return r;
  }
  int ClearModemLines(int fd, int lines) override {
    const int r = SimulatedModemLines::ClearModemLines(fd, lines);
    if (radio_) radio_->SetDtr(Dtr());
    return r;
  }

 private:
  sim::RadioLink*& radio_;
};

}  // namespace

OperationTestKit::OperationTestKit(sim::RadioConfig config) {
  if (gCurrentKit.exchange(this)) throw std::logic_error("one OperationTestKit at a time");
  gKitLog = [this](const std::string& line) { Log(line); };
  config.ackTrigger = sim::AckTrigger::DtrPulse;
  pty_ = std::make_unique<sim::PtyLine>("");
  link_ = std::make_unique<sim::RadioLink>(std::move(config), pty_->MasterFd());
  dtrTarget_ = link_.get();
  thread_ = std::thread([this] { link_->Run(); });
  engine_ = std::make_unique<TSb9600>(pump_, [this] {
    return std::make_unique<TComPort>(std::make_shared<DtrToRadio>(dtrTarget_));
  });
  engine_->SetLog(EngineLog, nullptr, false, false);
  engine_->CreatePort(pty_->SlavePath(), 9600, 8, 0, 0, false, false);
  if (!engine_->ComPort()->IsOpen())
    throw std::runtime_error("the simulated radio's line did not open");
}

OperationTestKit::~OperationTestKit() {
  engine_.reset();
  link_->Stop();
  thread_.join();
  gKitLog = nullptr;
  gCurrentKit = nullptr;
}

TOperationContext OperationTestKit::Context() {
  return TOperationContext{*engine_, pump_, [this](const std::string& line) { Log(line); },
                           [this] { return stop_.load() || (stopWhen && stopWhen()); }};
}

void OperationTestKit::Log(const std::string& line) {
  std::lock_guard lock(linesLock_);
  lines_.push_back(line);
}

std::vector<std::string> OperationTestKit::Lines() const {
  std::lock_guard lock(linesLock_);
  return lines_;
}

bool OperationTestKit::Logged(const std::string& line) const {
  const auto lines = Lines();
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace kestrune::test
