// Appending one line to the run's log file.
#pragma once

#include <string>

#include "console/core/TextFile.h"

namespace kestrune {

// Opens the file (creating it, and its folder, when it does not exist), appends line and CR LF,
// and closes it again, so the line is on disk when this returns and nothing
// holds the file between lines. Throws EFileError (TextFile.h) when the
// file could not be created or opened, with the message
//   Cannot create file "<path>". <system text>
//   Cannot open file "<path>". <system text>
void AppendLogFileLine(const std::string& path, const std::string& line);

// Creates the file when it does not exist and closes it again, to find out
// before a run that its lines can go there. Throws EFileError
//   Cannot open file "<path>". <system text>
void CheckLogFileOpens(const std::string& path);

}  // namespace kestrune
