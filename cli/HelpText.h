// The texts of kestrune-cli --help and kestrune-cli COMMAND --help.
#pragma once

#include <string>

namespace kestrune::cli {

struct TCommand;

std::string ProgramHelp();
std::string CommandHelp(const TCommand& command);

}  // namespace kestrune::cli
