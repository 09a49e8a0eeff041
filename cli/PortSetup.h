// The serial line kestrune-cli opens. The window's settings file gives the
// defaults: its [devices] section maps COM1..COM4 to devices, its [port]
// section holds the COM index, "Baud", "Bits", "StopBits" and "Parity". The
// line options override them; without either the line is COM1 at 9600 baud,
// 8 data bits, one stop bit, no parity, as in a new window.
#pragma once

#include <string>

#include "cli/CliOptions.h"
#include "console/core/LineSettings.h"

namespace kestrune::cli {

// Name: a COM name, or a device path from --device.
using TPortSetup = PortLine;

// The folder of the running program, with a trailing '/'.
std::string ProgramDir();

// The settings file the window would read, found by the same lookup
// (console/core/FilePlaces.h): beside the program when it runs portable,
// else the user's XDG one or KESTRUNE_SETTINGS.
std::string DefaultSettingsFile();

// Reads the settings file named by the options (or the default one, which
// may be missing), hands its [devices] map to the serial layer and applies
// the options. Throws EUsageError for a settings file that cannot be read
// (given with --settings, or one beside the program that is there: a folder,
// an unreadable file, a link to nothing), and for a setting that is used and
// is not valid.
TPortSetup ResolvePortSetup(const TLineOptions& options);

}  // namespace kestrune::cli
