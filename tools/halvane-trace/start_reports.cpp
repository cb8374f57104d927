#include "tools/halvane-trace/start_reports.h"

#include "tools/halvane-trace/session_model.h"
#include "tools/halvane-trace/time_order.h"

namespace halvane::tools {

void StartReports::started(int node, const trace::Record& start) {
  latest_[node] = {start.timeUs + callDuration(start), false};
}

MotionReport StartReports::take(const trace::Record& r) {
  if (!isMotionReport(r)) {
    return MotionReport::None;
  }
  Latest& latest = latest_[nodeOf(r)];
  if (!isRestReport(r)) {
    latest.movingReported = true;
    return MotionReport::Moving;
  }
  return !latest.movingReported && r.timeUs <= latest.returnUs ? MotionReport::RestBeforeMove
                                                               : MotionReport::Rest;
}

}  // namespace halvane::tools
