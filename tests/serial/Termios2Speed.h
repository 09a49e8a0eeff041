// The line speed a terminal really has, custom rates included (termios2).
#pragma once

#include <cstdint>

namespace kestrune::test {

uint32_t OutputSpeed(int fd);

}  // namespace kestrune::test
