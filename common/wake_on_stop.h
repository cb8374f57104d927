// For a std::jthread that waits on a condition variable: a stop wakes it wherever it waits. The
// lock is taken before the wake-up, so a stop cannot fall between the thread's check and its wait.
#pragma once

#include <condition_variable>
#include <mutex>
#include <stop_token>

namespace halvane {

struct WakeOnStop {
  std::mutex& mutex;
  std::condition_variable& wake;

  void operator()() const {
    { const std::lock_guard lock(mutex); }
    wake.notify_all();
  }
};

// Held by the thread for as long as it may wait: StopWaker waker(stop, WakeOnStop{mutex, wake});
using StopWaker = std::stop_callback<WakeOnStop>;

}  // namespace halvane
