#include "tests/serial/Termios2Speed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace kestrune::test {

uint32_t OutputSpeed(int fd) {
  termios2 attributes{};
  if (::ioctl(fd, TCGETS2, &attributes) != 0) return 0;
  return attributes.c_ospeed;
}

}  // namespace kestrune::test
