// Files in tests: a scratch folder, whole-file reads and writes, a wait for
// files to change, and the texts of the program's log lines.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/Wait.h"

namespace kestrune::test {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with
// everything in it, also after a test took its permissions away.
class ScratchDir {
 public:
  ScratchDir();  // throws std::runtime_error when no folder can be made
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const fs::path& Path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  void Write(const std::string& name, const std::string& bytes) const;
  std::string Read(const std::string& name) const;

 private:
  fs::path path_;
};

// The whole file, or empty when it cannot be read.
std::string ReadFile(const fs::path& path);
void WriteFile(const fs::path& path, const std::string& bytes);
// The permission bits (POSIX only).
unsigned ModeOf(const fs::path& path);

// Wakes on every change to the files in the folders it watches, so a test
// re-tests its condition when a program it started writes something. (The
// Windows half watches nothing and re-tests every few milliseconds.)
class FileWatch {
 public:
  FileWatch();
  ~FileWatch();
  FileWatch(const FileWatch&) = delete;
  FileWatch& operator=(const FileWatch&) = delete;

  // Adding a folder twice is harmless, so a condition may add one it finds.
  void Add(const fs::path& dir);
  // Waits until done() holds; false when `patience` ran out first.
  bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds patience = kPatience);

 private:
  int fd_;  // the inotify descriptor; unused on Windows
};

// Waits until the file holds `text`.
bool WaitForText(const fs::path& file, const std::string& text,
                 std::chrono::milliseconds patience = kPatience);

// The texts of the program's "hh:nn:ss  text" log lines, in order. A line
// of another form (or, with LineEnd::CrLf, without its CR) comes back as
// "not a log line: <line>", so that a comparison shows it.
enum class LineEnd { Lf, CrLf };
std::vector<std::string> LogTexts(const std::string& text, LineEnd end);

}  // namespace kestrune::test
