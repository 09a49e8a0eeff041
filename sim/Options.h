// Command line of kestrune-sim.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim/SimRadio.h"

namespace kestrune::sim {

inline constexpr const char* kDefaultLinkPath = "/tmp/kestrune-radio";

struct SimOptions {
  std::string linkPath = kDefaultLinkPath;  // pseudo-terminal link
  std::string devicePath;                   // serial device instead of a pseudo-terminal
  std::string eepromFile;                   // raw EEPROM image
  bool quiet = false;                       // no bus trace
  RadioConfig radio;                        // baud rate, delays, faults
};

struct ParsedOptions {
  std::optional<SimOptions> options;  // nothing: exit with exitCode after printing message
  int exitCode = 0;
  std::string message;  // help text, or the error for standard error
};

// `args` without the program name.
ParsedOptions ParseOptions(const std::vector<std::string>& args);
std::string HelpText();

}  // namespace kestrune::sim
