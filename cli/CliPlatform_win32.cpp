#include <windows.h>

#include <cerrno>
#include <cstring>

#include "cli/CliPlatform.h"
#include "console/core/WideText.h"

namespace kestrune::cli {

namespace {

int ErrnoOf(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return EACCES;
    default: return EIO;
  }
}

HANDLE OpenForReading(const std::string& path) {
  return CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

void IgnoreBrokenPipe() {}

int HighestComPort() { return 256; }

// A console answers GetConsoleMode; a pipe or a file does not. The progress
// line is redrawn with terminal escapes, so a console that cannot take them
// (before Windows 10) counts as none.
bool StandardErrorIsTerminal() {
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(error, &mode)) return false;
  return SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

bool PathPresent(const std::string& path) {
  return GetFileAttributesW(WideFromUtf8(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::string> UnreadableReason(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(WideFromUtf8(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return std::string(std::strerror(ErrnoOf(GetLastError())));
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return "it is a folder";
  const HANDLE handle = OpenForReading(path);
  if (handle == INVALID_HANDLE_VALUE) return std::string(std::strerror(ErrnoOf(GetLastError())));
  CloseHandle(handle);
  return std::nullopt;
}

// The end of a pipe whose writer is gone reads as ERROR_BROKEN_PIPE: the end
// of the input.
int ReadInputPieces(const std::string& name,
                    const std::function<void(const char* bytes, size_t count)>& append) {
  const bool standardInput = name == "-";
  const HANDLE handle = standardInput ? GetStdHandle(STD_INPUT_HANDLE) : OpenForReading(name);
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return ErrnoOf(GetLastError());
  const auto closeFile = [&] {
    if (!standardInput) CloseHandle(handle);
  };
  char chunk[65536];
  int error = 0;
  try {
    for (;;) {
      DWORD n = 0;
      if (!ReadFile(handle, chunk, sizeof chunk, &n, nullptr)) {
        if (GetLastError() != ERROR_BROKEN_PIPE) error = ErrnoOf(GetLastError());
        break;
      }
      if (n == 0) break;
      append(chunk, n);
    }
  } catch (...) {
    closeFile();
    throw;
  }
  closeFile();
  return error;
}

}  // namespace kestrune::cli
