#include "sim/PtyLine.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace kestrune::sim {
namespace {

[[noreturn]] void ThrowErrno(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

// A fresh terminal echoes in cooked mode: every byte the radio sent would
// come straight back to it as input while no program has the port open.
void MakeRaw(int fd) {
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) ThrowErrno("tcgetattr");
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  if (tcsetattr(fd, TCSANOW, &tio) != 0) ThrowErrno("tcsetattr");
}

}  // namespace

PtyLine::PtyLine(const std::string& linkPath) : linkPath_(linkPath) {
  try {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) ThrowErrno("posix_openpt");
    if (grantpt(master_) != 0) ThrowErrno("grantpt");
    if (unlockpt(master_) != 0) ThrowErrno("unlockpt");
    std::array<char, 128> name{};
    if (ptsname_r(master_, name.data(), name.size()) != 0) ThrowErrno("ptsname_r");
    slavePath_ = name.data();
    heldSlave_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (heldSlave_ < 0) ThrowErrno("open " + slavePath_);
    MakeRaw(heldSlave_);
    if (!linkPath_.empty()) MakeLink();
  } catch (...) {
    linkPath_.clear();
    Cleanup();
    throw;
  }
}

PtyLine::~PtyLine() { Cleanup(); }

void PtyLine::MakeLink() {
  struct stat st {};
  if (lstat(linkPath_.c_str(), &st) == 0 && !S_ISLNK(st.st_mode))
    throw std::runtime_error(linkPath_ + " exists and is not a symbolic link");
  // Made beside the target and renamed over it, so the path never dangles.
  const std::string temporary = linkPath_ + ".new-" + std::to_string(getpid());
  unlink(temporary.c_str());
  if (symlink(slavePath_.c_str(), temporary.c_str()) != 0) ThrowErrno("symlink " + temporary);
  if (rename(temporary.c_str(), linkPath_.c_str()) != 0) {
    const int error = errno;
    unlink(temporary.c_str());
    errno = error;
    ThrowErrno("rename to " + linkPath_);
  }
}

void PtyLine::Cleanup() {
  if (!linkPath_.empty()) {
    std::array<char, 256> target{};
    const ssize_t n = readlink(linkPath_.c_str(), target.data(), target.size() - 1);
    // Another radio may have taken the path over since; its link stays.
    if (n > 0 && slavePath_ == std::string(target.data(), static_cast<size_t>(n)))
      unlink(linkPath_.c_str());
  }
  if (heldSlave_ >= 0) close(heldSlave_);
  if (master_ >= 0) close(master_);
  heldSlave_ = master_ = -1;
}

}  // namespace kestrune::sim
