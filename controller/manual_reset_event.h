// A manual-reset event: stays signalled until reset, wakes every waiter when set.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace halvane {

class ManualResetEvent {
 public:
  explicit ManualResetEvent(bool signalled) : signalled_(signalled) {}

  void set();
  void reset();
  bool isSet() const;
  // True when the event is (or becomes) signalled within `timeout`.
  bool waitFor(std::chrono::milliseconds timeout) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool signalled_;
};

}  // namespace halvane
