// The Windows half of the test kit's files: scratch folders named by process
// and a random number, and a wait that re-tests its condition every few
// milliseconds (no change notification is needed for a test's patience).
#include <windows.h>

#include <random>
#include <stdexcept>
#include <thread>

#include "tests/support/Files.h"

namespace kestrune::test {

ScratchDir::ScratchDir() {
  std::random_device seed;
  std::mt19937 pick(seed());
  const fs::path temp = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate = temp / ("kestrune-test-" + std::to_string(GetCurrentProcessId()) +
                                       "-" + std::to_string(pick()));
    std::error_code error;
    // create_directory says false for a folder that was already there.
    if (fs::create_directory(candidate, error)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("no scratch folder under " + temp.string());
}

FileWatch::FileWatch() : fd_(-1) {}

FileWatch::~FileWatch() = default;

void FileWatch::Add(const fs::path&) {}

bool FileWatch::WaitFor(const std::function<bool()>& done, std::chrono::milliseconds patience) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + patience;
  while (!done()) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

}  // namespace kestrune::test
