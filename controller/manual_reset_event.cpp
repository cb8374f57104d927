#include "controller/manual_reset_event.h"

namespace halvane {

void ManualResetEvent::set() {
  // Notified under the lock, so a waiter that wakes and destroys the event cannot race the notify.
  std::lock_guard lock(mutex_);
  signalled_ = true;
  changed_.notify_all();
}

void ManualResetEvent::reset() {
  std::lock_guard lock(mutex_);
  signalled_ = false;
}

bool ManualResetEvent::isSet() const {
  std::lock_guard lock(mutex_);
  return signalled_;
}

bool ManualResetEvent::waitFor(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [this] { return signalled_; });
}

}  // namespace halvane
