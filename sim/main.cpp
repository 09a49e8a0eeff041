// kestrune-sim: the simulated radio on a pseudo-terminal or a serial device.
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

#include "sim/Options.h"
#include "sim/PtyLine.h"
#include "sim/RadioLink.h"
#include "sim/SerialDeviceLine.h"

namespace {

using namespace kestrune::sim;

std::atomic<RadioLink*> gLink{nullptr};
std::atomic<bool> gStopRequested{false};

// A signal before the link runs is remembered, so the link is still removed.
void OnStopSignal(int) {
  gStopRequested = true;
  if (RadioLink* link = gLink.load()) link->Stop();
}

void InstallSignalHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);  // a closed stdout pipe ends the trace, not the radio
}

void PrintLine(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int Serve(SimOptions& options) {
  InstallSignalHandlers();
  if (!options.eepromFile.empty()) options.radio.eeprom = ReadFile(options.eepromFile);
  std::unique_ptr<PtyLine> pty;
  std::unique_ptr<SerialDeviceLine> device;
  int fd;
  if (options.devicePath.empty()) {
    pty = std::make_unique<PtyLine>(options.linkPath);
    fd = pty->MasterFd();
    PrintLine("kestrune-sim: link " +
              (pty->LinkPath().empty() ? pty->SlavePath() : pty->LinkPath()) + " -> " +
              pty->SlavePath());
  } else {
    device = std::make_unique<SerialDeviceLine>(options.devicePath, options.radio.baudRate);
    fd = device->Fd();
    PrintLine("kestrune-sim: device " + options.devicePath);
  }
  RadioLink::LineSink sink;
  if (!options.quiet) sink = PrintLine;
  RadioLink link(options.radio, fd, sink);
  const auto [delay, gap] =
      link.WithRadio([](SimRadio& r) { return std::pair(r.AckDelay(), r.FrameGap()); });
  PrintLine("kestrune-sim: " + std::to_string(options.radio.baudRate) +
            " baud, acknowledge delay " + std::to_string(delay.count()) + " ms, frame gap " +
            std::to_string(gap.count()) + " ms");
  gLink = &link;
  if (gStopRequested) link.Stop();
  const RadioLink::End end = link.Run();
  gLink = nullptr;
  if (end == RadioLink::End::Stopped) {
    PrintLine("kestrune-sim: stopped");
    return 0;
  }
  std::fprintf(
      stderr, "kestrune-sim: %s\n",
      end == RadioLink::End::LineClosed ? "the line was closed" : link.LastError().c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  ParsedOptions parsed = ParseOptions({argv + 1, argv + argc});
  if (!parsed.options) {
    std::fputs(parsed.message.c_str(), parsed.exitCode == 0 ? stdout : stderr);
    return parsed.exitCode;
  }
  try {
    return Serve(*parsed.options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kestrune-sim: %s\n", e.what());
    return 1;
  }
}
