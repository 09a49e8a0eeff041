// kestrune-cli from its arguments to its exit status: read the command line,
// open the port the way the window does, run one command with the console's
// operations, close the port.
#pragma once

#include <string>
#include <vector>

namespace kestrune::cli {

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;  // the radio did not answer, a transfer failed
inline constexpr int kExitUsage = 2;
inline constexpr int kExitPort = 3;  // the port could not be opened
// Stopped by a signal: 128 + its number (130 SIGINT, 143 SIGTERM).

// `args` without the program name.
int RunCli(const std::vector<std::string>& args);

}  // namespace kestrune::cli
