// Reading and replacing whole files on POSIX systems (see TextFile.h).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "console/core/TextFile.h"

namespace kestrune {

namespace {

[[noreturn]] void ThrowWriteError(const std::string& path, int error) {
  throw EFileError("Unable to write to " + path, error);
}

std::string FolderOf(const std::string& path) {
  const std::string folder = std::filesystem::path(path).parent_path().string();
  return folder.empty() ? "." : folder;
}

// The file a path names once symbolic links are followed, also when the last
// link points to a file that is not there yet.
std::string FollowLinks(const std::string& path) {
  constexpr int kMaxLinks = 40;  // as the system's own limit
  std::string current = path;
  for (int hop = 0; hop < kMaxLinks; ++hop) {
    struct stat st {};
    if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096), '\0');
    const ssize_t n = readlink(current.c_str(), target.data(), target.size());
    if (n < 0) ThrowWriteError(path, errno);
    target.resize(static_cast<size_t>(n));
    current = target.starts_with('/') ? target : FolderOf(current) + "/" + target;
  }
  ThrowWriteError(path, ELOOP);
}

// Whether we may write where st describes. Root may write anything, but a
// file or folder without a single write permission bit was made read-only
// on purpose, and that choice is honoured.
bool MayWrite(const std::string& path, const struct stat& st) {
  if ((st.st_mode & 0222) == 0) return false;
  return access(path.c_str(), W_OK) == 0;
}

bool WriteAll(int fd, const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = fsync(fd) == 0 || errno == EINVAL;  // a file system without it
  close(fd);
  return ok;
}

// The temporary file: written, given the old file's mode and owner, flushed.
bool FillTemporary(int fd, const std::string& bytes, const struct stat* old) {
  if (!WriteAll(fd, bytes)) return false;
  if (fchmod(fd, old ? old->st_mode & 07777 : 0644) != 0) return false;
  // Only root may give a file away; for anyone else the owner is already us.
  if (old && (old->st_uid != geteuid() || old->st_gid != getegid()))
    (void)!fchown(fd, old->st_uid, old->st_gid);
  return fsync(fd) == 0;
}

// Where a write of path goes, found and checked before anything is written.
struct WriteTarget {
  std::string file;  // path with its links followed
  std::string folder;
  bool exists = false;
  struct stat old {};
};

WriteTarget CheckedTarget(const std::string& path) {
  WriteTarget target;
  target.file = FollowLinks(path);
  target.exists = stat(target.file.c_str(), &target.old) == 0;
  if (!target.exists && errno != ENOENT) ThrowWriteError(path, errno);
  if (target.exists && !S_ISREG(target.old.st_mode)) ThrowWriteError(path, EISDIR);
  if (target.exists && !MayWrite(target.file, target.old)) ThrowWriteError(path, EACCES);

  target.folder = FolderOf(target.file);
  struct stat folderStat {};
  if (stat(target.folder.c_str(), &folderStat) != 0) ThrowWriteError(path, errno);
  if (!MayWrite(target.folder, folderStat)) ThrowWriteError(path, EACCES);
  return target;
}

// The reason a check refused path, for the operator.
std::string CheckReason(const std::string& path, int error) {
  struct stat st {};
  if (error == EISDIR && stat(path.c_str(), &st) == 0)
    return S_ISDIR(st.st_mode) ? "it is a folder" : "it is not a regular file";
  if (error == EACCES) return "no write permission";
  return std::generic_category().message(error);
}

}  // namespace

std::string ReadWholeFile(const std::string& path) {
  const auto fail = [&](int error) -> EFileError {
    return EFileError("Unable to read " + path + ": " + std::generic_category().message(error),
                      error);
  };
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw fail(errno);
  std::string bytes;
  char chunk[65536];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      close(fd);
      throw fail(error);
    }
    if (n == 0) break;
    bytes.append(chunk, static_cast<size_t>(n));
  }
  close(fd);
  return bytes;
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
  const WriteTarget target = CheckedTarget(path);
  std::string temporary = target.file + ".XXXXXX";
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) ThrowWriteError(path, errno);
  bool ok = FillTemporary(fd, bytes, target.exists ? &target.old : nullptr);
  int error = ok ? 0 : errno;
  if (close(fd) != 0 && ok) ok = false, error = errno;
  if (ok && rename(temporary.c_str(), target.file.c_str()) != 0) ok = false, error = errno;
  if (!ok) {
    unlink(temporary.c_str());
    ThrowWriteError(path, error);
  }
  if (!SyncFolder(target.folder)) ThrowWriteError(path, errno);
}

void CheckWritableFile(const std::string& path) {
  try {
    const WriteTarget target = CheckedTarget(path);
    // The system has the last word (a full disk, a read-only mount, quotas):
    // the temporary file that the write will need is made once now.
    std::string temporary = target.file + ".XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) ThrowWriteError(path, errno);
    close(fd);
    unlink(temporary.c_str());
  } catch (const EFileError& e) {
    throw EFileError("Cannot save to " + path + ": " + CheckReason(path, e.Error()), e.Error());
  }
}

}  // namespace kestrune
