#include "console/core/LogFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace kestrune {

namespace {

[[noreturn]] void ThrowFileError(const char* what, const std::string& path, int error) {
  throw EFileError(std::string(what) + " \"" + path + "\". " + std::strerror(error), error);
}

// The log folder is made with the first line, so a run that logs nothing to
// a file leaves no empty folder behind. Once per line at most: a folder that
// cannot be made shows as the create error.
void MakeParentFolder(const std::string& path) {
  std::error_code error;
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent, error);
}

// Opens an existing file, or creates a missing one; a file that appears
// between the two attempts (another instance started in the same minute) is
// opened after all.
int OpenForAppend(const std::string& path) {
  bool madeFolder = false;
  for (;;) {
    int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd >= 0) return fd;
    if (errno != ENOENT) ThrowFileError("Cannot open file", path, errno);
    fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) return fd;
    if (errno == ENOENT && !madeFolder) {
      MakeParentFolder(path);
      madeFolder = true;
      continue;
    }
    if (errno != EEXIST) ThrowFileError("Cannot create file", path, errno);
  }
}

}  // namespace

void CheckLogFileOpens(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) ThrowFileError("Cannot open file", path, errno);
  close(fd);
}

void AppendLogFileLine(const std::string& path, const std::string& line) {
  const std::string bytes = line + "\r\n";
  const int fd = OpenForAppend(path);
  size_t done = 0;
  int error = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? errno : EIO;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (close(fd) != 0 && error == 0 && errno != EINTR) error = errno;
  // A write that fails on an opened file (a full disk) is reported like an
  // open that fails: the line did not reach the file.
  if (error != 0) ThrowFileError("Cannot open file", path, error);
}

}  // namespace kestrune
