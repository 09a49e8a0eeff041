// What the two backends of TComPort (UnitComPort_posix.cpp and
// UnitComPort_win32.cpp) share. Private to serial/.
#pragma once

#include <string>

namespace kestrune {

// A system's message text without its trailing blanks, line ends and full
// stops, so that it sits between the quotes of a log line.
std::string TrimSystemMessage(std::string message);

// "COM3" -> 3 (the case of "COM" does not matter); 0 for any name that is not
// "COM" followed by a positive number.
int ComPortNumber(const std::string& name);

// The file name that opens the port on Windows: "COM12" -> "\\.\COM12", the
// device namespace, where COM10 and up live too (the plain name reaches COM1
// to COM9 only). Anything else (a full \\.\ name, say) stays as it is.
std::string ComDeviceFileName(const std::string& name);

}  // namespace kestrune
