// Arbitrary baud rates on Linux (struct termios2 with BOTHER). Kept apart
// because the kernel's termios header cannot share a file with <termios.h>.
#pragma once

#include <cstdint>

namespace kestrune {

// Sets input and output speed of `fd` to `baud`, keeping every other line
// setting. Returns 0, or -1 with errno set.
int SetTermios2Baud(int fd, uint32_t baud);

}  // namespace kestrune
