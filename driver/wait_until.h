// Waiting for a state of another process, with a bound: the only way a driver can wait for a
// window.
#pragma once

#include <windows.h>

#include <chrono>

namespace halvane::e2e {

inline constexpr std::chrono::milliseconds kDefaultWait{10000};

// Polls `condition` until it holds; false when it still does not after `timeout`.
template <typename Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds timeout = kDefaultWait) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (condition()) {
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    Sleep(10);
  }
}

}  // namespace halvane::e2e
