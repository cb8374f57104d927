#include "sim/real_platform.h"

#include <thread>

#include "sim/platform_hooks.h"

namespace halvane::sim {
namespace {

// The system's sleep may overrun by about a millisecond; the last stretch is spun out.
constexpr Duration kSpinStretch = std::chrono::milliseconds(2);

}  // namespace

RealPlatform::RealPlatform() : start_(std::chrono::steady_clock::now()) {}

std::optional<int64_t> RealPlatform::clockOriginMicroseconds() const {
  return std::chrono::duration_cast<std::chrono::microseconds>(start_.time_since_epoch()).count();
}

Duration RealPlatform::now() {
  return std::chrono::duration_cast<Duration>(std::chrono::steady_clock::now() - start_);
}

void RealPlatform::sleepFor(Duration duration) {
  if (duration <= Duration::zero()) {
    return;
  }
  enablePreciseTimers();
  const auto deadline = std::chrono::steady_clock::now() + duration;
  const auto coarse = deadline - kSpinStretch;
  if (std::chrono::steady_clock::now() < coarse) {
    std::this_thread::sleep_until(coarse);
  }
  while (std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
}

void RealPlatform::waitUntil(std::condition_variable& wake, std::unique_lock<std::mutex>& lock,
                             std::optional<Duration> deadline) {
  enablePreciseTimers();
  if (deadline) {
    wake.wait_until(lock, start_ + *deadline);
  } else {
    wake.wait(lock);
  }
}

unsigned long RealPlatform::threadId() {
  return currentThreadId();
}

}  // namespace halvane::sim
