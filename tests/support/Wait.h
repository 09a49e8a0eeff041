// Waiting in tests. A test waits for a condition, never for a length of time,
// and gives up only after kPatience: long enough that no loaded machine comes
// near it, so the bound catches a hang and never measures speed. Speed is
// measured in bench/.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace kestrune::test {

using namespace std::chrono_literals;

inline constexpr std::chrono::milliseconds kPatience = 10s;

// Waits under `lock` until `done` holds, woken through `changed`; false when
// `patience` ran out first.
bool WaitUntil(std::mutex& lock, std::condition_variable& changed,
               const std::function<bool()>& done, std::chrono::milliseconds patience = kPatience);

}  // namespace kestrune::test
