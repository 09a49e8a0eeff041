// The run's log file on Windows: UTF-8 path to UTF-16, appended through the
// system's own append mode, so lines of two programs never overwrite each
// other.
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "console/core/LogFile.h"
#include "console/core/WideText.h"

namespace kestrune {

namespace {

int ErrnoOf(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    default: return EIO;
  }
}

[[noreturn]] void ThrowFileError(const char* what, const std::string& path, int error) {
  throw EFileError(std::string(what) + " \"" + path + "\". " + std::strerror(error), error);
}

HANDLE OpenOrCreate(const std::wstring& path) {
  return CreateFileW(path.c_str(), FILE_APPEND_DATA,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The log folder is made with the first line, so a run that logs nothing to
// a file leaves no empty folder behind. Once per line at most: a folder that
// cannot be made shows as the create error.
HANDLE OpenForAppend(const std::string& path) {
  const std::wstring wide = WideFromUtf8(path);
  HANDLE handle = OpenOrCreate(wide);
  if (handle != INVALID_HANDLE_VALUE || GetLastError() != ERROR_PATH_NOT_FOUND) return handle;
  std::error_code error;
  const std::filesystem::path parent = std::filesystem::path(wide).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent, error);
  handle = OpenOrCreate(wide);
  if (handle == INVALID_HANDLE_VALUE)
    ThrowFileError("Cannot create file", path, ErrnoOf(GetLastError()));
  return handle;
}

}  // namespace

void CheckLogFileOpens(const std::string& path) {
  const HANDLE handle = OpenOrCreate(WideFromUtf8(path));
  if (handle == INVALID_HANDLE_VALUE)
    ThrowFileError("Cannot open file", path, ErrnoOf(GetLastError()));
  CloseHandle(handle);
}

void AppendLogFileLine(const std::string& path, const std::string& line) {
  const std::string bytes = line + "\r\n";
  const HANDLE handle = OpenForAppend(path);
  if (handle == INVALID_HANDLE_VALUE)
    ThrowFileError("Cannot open file", path, ErrnoOf(GetLastError()));
  size_t done = 0;
  int error = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    const DWORD piece = static_cast<DWORD>(bytes.size() - done);
    if (!WriteFile(handle, bytes.data() + done, piece, &written, nullptr) || written == 0) {
      error = ErrnoOf(GetLastError());
      break;
    }
    done += written;
  }
  CloseHandle(handle);
  // A write that fails on an opened file (a full disk) is reported like an
  // open that fails: the line did not reach the file.
  if (error != 0) ThrowFileError("Cannot open file", path, error);
}

}  // namespace kestrune
