// What kestrune-cli asks of the operating system beyond the port and the
// console's files; CliPlatform_posix.cpp and CliPlatform_win32.cpp.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace kestrune::cli {

// A reader that goes away (kestrune-cli ... | head) must not end the program
// before the operation's closing has run. Windows has no such signal.
void IgnoreBrokenPipe();

// The highest n that --port COMn takes. On POSIX the window's four, each
// mapped to a device; on Windows every COM port the system can name, COM10
// and up included.
int HighestComPort();

// Whether standard error is a terminal (a console window on Windows), where
// the progress line may be redrawn in place.
bool StandardErrorIsTerminal();

// Anything by that name, a dangling link included.
bool PathPresent(const std::string& path);

// Why the settings file at path cannot be read ("it is a folder", the
// system's reason...), or nothing when it can.
std::optional<std::string> UnreadableReason(const std::string& path);

// Reads the file (standard input for "-") piece by piece into append, which
// may throw to stop the reading. Returns 0, or the errno value of a failed
// open or read.
int ReadInputPieces(const std::string& name,
                    const std::function<void(const char* bytes, size_t count)>& append);

}  // namespace kestrune::cli
