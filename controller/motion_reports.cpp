#include "controller/motion_reports.h"

namespace halvane {

void MotionReports::record(bool moving) {
  std::lock_guard lock(mutex_);
  const uint64_t number = ++marks_.count;
  (moving ? marks_.lastMoving : marks_.lastRest) = number;
  arrived_.notify_all();
}

MotionReportMarks MotionReports::marks() const {
  std::lock_guard lock(mutex_);
  return marks_;
}

bool MotionReports::waitForReportAfter(uint64_t seen, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return arrived_.wait_for(lock, timeout, [&] { return marks_.count > seen; });
}

}  // namespace halvane
