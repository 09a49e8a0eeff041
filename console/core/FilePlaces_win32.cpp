// The Windows half of FilePlaces.h: the program's folder and the write test.
#include <windows.h>

#include <string>

#include "console/core/FilePlaces.h"
#include "console/core/WideText.h"

namespace kestrune {

std::string ExecutableDir() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return "./";
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);  // the name was cut short: try a larger buffer
  }
  const size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return "./";
  return Utf8FromWide(path.substr(0, slash + 1));
}

namespace {

// Folder permissions on Windows live in access lists that attributes do not
// show, so the test is to make a file there, one that goes away on close.
bool CanCreateFileIn(const std::wstring& folder) {
  const std::wstring probe = folder + L"\\.kestrune-write-test";
  const HANDLE file = CreateFileW(
      probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
      FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

}  // namespace

bool WritableByUser(const std::string& path) {
  std::wstring wide = WideFromUtf8(path);
  while (!wide.empty() && (wide.back() == L'\\' || wide.back() == L'/')) wide.pop_back();
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return CanCreateFileIn(wide);
  if (attributes & FILE_ATTRIBUTE_READONLY) return false;
  const HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

}  // namespace kestrune
