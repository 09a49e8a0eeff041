// Reading and replacing whole files on Windows (see TextFile.h). Paths are
// UTF-8 and reach the system as UTF-16; the errors carry errno values, as on
// POSIX, so that callers test for ENOENT alike everywhere.
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <system_error>

#include "console/core/TextFile.h"
#include "console/core/WideText.h"

namespace kestrune {

namespace {

int ErrnoOf(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT: return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    default: return EIO;
  }
}

int LastErrno() { return ErrnoOf(GetLastError()); }

[[noreturn]] void ThrowWriteError(const std::string& path, int error) {
  throw EFileError("Unable to write to " + path, error);
}

std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? L"." : path.substr(0, slash + 1);
}

// Checks what WriteWholeFile is about to replace: no folder, nothing made
// read-only, a folder that is there.
bool CheckTarget(const std::wstring& file, int& error) {
  const DWORD attributes = GetFileAttributesW(file.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return error = EISDIR, false;
    if (attributes & FILE_ATTRIBUTE_READONLY) return error = EACCES, false;
    return true;
  }
  const int missing = LastErrno();
  if (missing != ENOENT) return error = missing, false;
  const DWORD folder = GetFileAttributesW(FolderOf(file).c_str());
  if (folder == INVALID_FILE_ATTRIBUTES) return error = LastErrno(), false;
  if (!(folder & FILE_ATTRIBUTE_DIRECTORY)) return error = ENOENT, false;
  return true;
}

// A new file beside `file` that nobody else has: <file>.<n>.tmp.
HANDLE CreateTemporary(const std::wstring& file, std::wstring& name) {
  static LONG counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = file + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(InterlockedIncrement(&counter)) + L".tmp";
    const HANDLE handle = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return handle;
  }
  return INVALID_HANDLE_VALUE;
}

bool WriteAndFlush(HANDLE handle, const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const DWORD piece = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data() + done, piece, &written, nullptr) || written == 0)
      return false;
    done += written;
  }
  return FlushFileBuffers(handle) != 0;
}

// ReplaceFileW keeps the old file's attributes and security; it refuses a
// target that is not there, and some file systems, where MoveFileExW does the
// replacing instead.
bool Replace(const std::wstring& file, const std::wstring& temporary, bool exists) {
  if (exists && ReplaceFileW(file.c_str(), temporary.c_str(), nullptr,
                             REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
    return true;
  return MoveFileExW(temporary.c_str(), file.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

std::string CheckReason(int error) {
  if (error == EISDIR) return "it is a folder";
  if (error == EACCES) return "no write permission";
  return std::generic_category().message(error);
}

}  // namespace

std::string ReadWholeFile(const std::string& path) {
  const auto fail = [&](int error) -> EFileError {
    return EFileError("Unable to read " + path + ": " + std::generic_category().message(error),
                      error);
  };
  const HANDLE handle = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) throw fail(LastErrno());
  std::string bytes;
  char chunk[65536];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(handle, chunk, sizeof chunk, &n, nullptr)) {
      const int error = LastErrno();
      CloseHandle(handle);
      throw fail(error);
    }
    if (n == 0) break;
    bytes.append(chunk, n);
  }
  CloseHandle(handle);
  return bytes;
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
  const std::wstring file = WideFromUtf8(path);
  int error = 0;
  if (!CheckTarget(file, error)) ThrowWriteError(path, error);
  const bool exists = GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES;
  std::wstring temporary;
  const HANDLE handle = CreateTemporary(file, temporary);
  if (handle == INVALID_HANDLE_VALUE) ThrowWriteError(path, LastErrno());
  bool ok = WriteAndFlush(handle, bytes);
  if (!ok) error = LastErrno();
  CloseHandle(handle);
  if (ok && !Replace(file, temporary, exists)) ok = false, error = LastErrno();
  if (!ok) {
    DeleteFileW(temporary.c_str());
    ThrowWriteError(path, error);
  }
}

void CheckWritableFile(const std::string& path) {
  const std::wstring file = WideFromUtf8(path);
  int error = 0;
  if (CheckTarget(file, error)) {
    std::wstring temporary;
    const HANDLE handle = CreateTemporary(file, temporary);
    if (handle != INVALID_HANDLE_VALUE) {
      CloseHandle(handle);
      DeleteFileW(temporary.c_str());
      return;
    }
    error = LastErrno();
  }
  throw EFileError("Cannot save to " + path + ": " + CheckReason(error), error);
}

}  // namespace kestrune
