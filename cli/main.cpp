// kestrune-cli: the console's operations from a terminal and from scripts.
#include <cstdio>
#include <exception>

#include "cli/CliMain.h"

int main(int argc, char** argv) {
  try {
    return kestrune::cli::RunCli({argv + 1, argv + argc});
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kestrune-cli: %s\n", e.what());
    return kestrune::cli::kExitFailed;
  }
}
