// The POSIX half of the test kit's files: scratch folders from mkdtemp,
// permission bits, and inotify to wake a wait when a file changes.
#include <poll.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

#include "tests/support/Files.h"

namespace kestrune::test {

ScratchDir::ScratchDir() {
  std::string pattern = (fs::temp_directory_path() / "kestrune-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("no scratch folder: " + pattern);
  path_ = pattern;
}

unsigned ModeOf(const fs::path& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

FileWatch::FileWatch() : fd_(inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {}

FileWatch::~FileWatch() { close(fd_); }

void FileWatch::Add(const fs::path& dir) {
  inotify_add_watch(fd_, dir.c_str(), IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO);
}

bool FileWatch::WaitFor(const std::function<bool()>& done, std::chrono::milliseconds patience) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + patience;
  while (!done()) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left <= 0ms) return false;
    pollfd pfd{fd_, POLLIN, 0};
    if (poll(&pfd, 1, static_cast<int>(left.count())) == 1) {
      char events[4096];
      while (read(fd_, events, sizeof events) > 0) {
      }
    }
  }
  return true;
}

}  // namespace kestrune::test
