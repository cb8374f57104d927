// The motion reports of one node, numbered as they arrive, so that a wait can tell a report that
// came after some moment from one that was already on its way before it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace halvane {

struct MotionReportMarks {
  uint64_t count = 0;       // reports so far; they are numbered from 1
  uint64_t lastMoving = 0;  // number of the latest moving report, 0 for none
  uint64_t lastRest = 0;    // number of the latest rest report, 0 for none
};

class MotionReports {
 public:
  void record(bool moving);
  MotionReportMarks marks() const;
  // True when a report numbered after `seen` has arrived or arrives within `timeout`.
  bool waitForReportAfter(uint64_t seen, std::chrono::milliseconds timeout) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;
  MotionReportMarks marks_;
};

}  // namespace halvane
