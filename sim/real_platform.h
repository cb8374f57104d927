// The platform of the real library: the steady clock from the moment of construction (the
// library's load), and sleeps that end on time.
#pragma once

#include <chrono>

#include "sim/sim_platform.h"

namespace halvane::sim {

class RealPlatform final : public SimPlatform {
 public:
  RealPlatform();
  Duration now() override;
  void sleepFor(Duration duration) override;
  void waitUntil(std::condition_variable& wake, std::unique_lock<std::mutex>& lock,
                 std::optional<Duration> deadline) override;
  unsigned long threadId() override;
  std::optional<int64_t> clockOriginMicroseconds() const override;

 private:
  std::chrono::steady_clock::time_point start_;
};

}  // namespace halvane::sim
