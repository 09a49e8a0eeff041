// Appending one line to the run's log file.
#pragma once

#include <stdexcept>
#include <string>

namespace kestrune {

// A file that could not be created or opened. The message reads
//   Cannot create file "<path>". <system text>
//   Cannot open file "<path>". <system text>
class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Opens the file (creating it when it does not exist), appends line and CR LF,
// and closes it again, so the line is on disk when this returns and nothing
// holds the file between lines. Throws EFileError.
void AppendLogFileLine(const std::string& path, const std::string& line);

}  // namespace kestrune
