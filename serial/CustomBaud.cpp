#include "serial/CustomBaud.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace kestrune {

int SetTermios2Baud(int fd, uint32_t baud) {
  termios2 attributes{};
  if (::ioctl(fd, TCGETS2, &attributes) != 0) return -1;
  attributes.c_cflag &= ~static_cast<tcflag_t>(CBAUD);
  attributes.c_cflag |= BOTHER;
  attributes.c_ispeed = baud;
  attributes.c_ospeed = baud;
  return ::ioctl(fd, TCSETS2, &attributes);
}

}  // namespace kestrune
