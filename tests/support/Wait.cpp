#include "tests/support/Wait.h"

namespace kestrune::test {

bool WaitUntil(std::mutex& lock, std::condition_variable& changed,
               const std::function<bool()>& done, std::chrono::milliseconds patience) {
  std::unique_lock<std::mutex> guard(lock);
  return changed.wait_for(guard, patience, done);
}

}  // namespace kestrune::test
