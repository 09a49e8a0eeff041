#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/CliPlatform.h"

namespace kestrune::cli {

void IgnoreBrokenPipe() { signal(SIGPIPE, SIG_IGN); }

int HighestComPort() { return 4; }

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

bool PathPresent(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

std::optional<std::string> UnreadableReason(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    const int error = errno;
    struct stat link {};
    if (lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
      return "it is a link to nothing (" + std::string(std::strerror(error)) + ")";
    return std::string(std::strerror(error));
  }
  if (S_ISDIR(st.st_mode)) return "it is a folder";
  if (!S_ISREG(st.st_mode)) return "it is not a regular file";
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::string(std::strerror(errno));
  close(fd);
  return std::nullopt;
}

int ReadInputPieces(const std::string& name,
                    const std::function<void(const char* bytes, size_t count)>& append) {
  const bool standardInput = name == "-";
  const int fd = standardInput ? STDIN_FILENO : open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  const auto closeFile = [&] {
    if (!standardInput) close(fd);
  };
  char chunk[65536];
  int error = 0;
  try {
    for (;;) {
      const ssize_t n = read(fd, chunk, sizeof chunk);
      if (n == 0) break;
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        error = errno;
        break;
      }
      append(chunk, static_cast<size_t>(n));
    }
  } catch (...) {
    closeFile();
    throw;
  }
  closeFile();
  return error;
}

}  // namespace kestrune::cli
