// What the command files share: the commands themselves, for the table in
// Commands.cpp, and a few small helpers. Internal to cli/.
#pragma once

#include <string>
#include <vector>

#include "cli/CliOutput.h"
#include "cli/Commands.h"

namespace kestrune::cli {

TCommand SendCommand();
TCommand ScriptCommand();
TCommand TuneCommand();
TCommand LcdCommand();
TCommand ScanCommand();
TCommand ReadCommand();
TCommand WriteCommand();
TCommand CompareCommand();
TCommand PortsCommand();

inline constexpr const char* kNoAnswer = "the radio did not answer";
inline constexpr const char* kNotTaken = "the radio did not answer, or refused the frame";

// The words with one space between them.
std::string JoinWords(const std::vector<std::string>& words);

// Done when ok; otherwise the failure on standard error, and Failed.
TOutcome Report(TRunContext& run, bool ok, const std::string& failure);

}  // namespace kestrune::cli
