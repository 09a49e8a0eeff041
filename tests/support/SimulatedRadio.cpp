#include "tests/support/SimulatedRadio.h"

#include <stdexcept>

#include "serial/SimulatedModemLines.h"
#include "tests/support/LogRecorder.h"

namespace kestrune::test {

namespace {

class DtrToRadio : public SimulatedModemLines {
 public:
  explicit DtrToRadio(sim::RadioLink& radio) : radio_(radio) {}
  int SetModemLines(int fd, int lines) override {
    const int r = SimulatedModemLines::SetModemLines(fd, lines);
    radio_.SetDtr(Dtr());
    return r;
  }
  int ClearModemLines(int fd, int lines) override {
    const int r = SimulatedModemLines::ClearModemLines(fd, lines);
    radio_.SetDtr(Dtr());
    return r;
  }

 private:
  sim::RadioLink& radio_;
};

constexpr std::chrono::milliseconds kAckDelayWithoutDtr{1500};

sim::RadioConfig ForLine(sim::RadioConfig config, EngineOnRadio::Line line) {
  if (line == EngineOnRadio::Line::ShowsDtr) config.ackTrigger = sim::AckTrigger::DtrPulse;
  if (line == EngineOnRadio::Line::WithoutDtr && !config.ackDelay)
    config.ackDelay = kAckDelayWithoutDtr;
  return config;
}

}  // namespace

SimulatedRadio::SimulatedRadio(sim::RadioConfig config)
    : line_(std::make_unique<sim::PtyLine>(std::string())),
      link_(std::make_unique<sim::RadioLink>(std::move(config), line_->MasterFd())),
      thread_([this] { link_->Run(); }) {}

SimulatedRadio::~SimulatedRadio() {
  if (!thread_.joinable()) return;
  link_->Stop();
  thread_.join();
}

void SimulatedRadio::HangUp() {
  if (thread_.joinable()) {
    link_->Stop();
    thread_.join();
  }
  line_.reset();
}

std::vector<uint8_t> SimulatedRadio::Received() {
  return link_->WithRadio([](sim::SimRadio& radio) {
    std::vector<uint8_t> bytes;
    for (const sim::ReceivedFrame& frame : radio.FramesReceived())
      bytes.insert(bytes.end(), frame.bytes.begin(), frame.bytes.end());
    return bytes;
  });
}

TSb9600::PortFactory SimulatedRadio::PortsShowingDtr() {
  return [this] { return std::make_unique<TComPort>(std::make_shared<DtrToRadio>(*link_)); };
}

EngineOnRadio::EngineOnRadio(sim::RadioConfig config, Line line)
    : radio_(std::make_unique<SimulatedRadio>(ForLine(std::move(config), line))) {
  LogRecorder::Reset();
  engine_ = std::make_unique<TSb9600>(
      pump_, line == Line::ShowsDtr ? radio_->PortsShowingDtr() : TSb9600::PortFactory());
  engine_->SetLog(LogRecorder::Line, nullptr, false, false);
  engine_->CreatePort(radio_->DevicePath(), 9600, 8, 0, 0, false, false);
  if (!engine_->ComPort()->IsOpen())
    throw std::runtime_error("the simulated radio's line did not open: " +
                             engine_->ComPort()->LastError());
}

// The engine goes first: its port's event thread may still raise DTR.
EngineOnRadio::~EngineOnRadio() { engine_.reset(); }

}  // namespace kestrune::test
