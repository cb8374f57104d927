// Which moment of a node's move a motion status report speaks of. A call's line is stamped with
// its start, and the library may report a node's status on its own clock (every 200 ms, say), so a
// rest report can come while a start is in flight, before the start's own moving report: it tells
// how the wheel stood before the move, and says nothing of the move. Every reader of moves takes
// the reports through this, in time order.
#pragma once

#include <cstdint>
#include <limits>
#include <map>

#include "trace/trace_record.h"

namespace halvane::tools {

enum class MotionReport {
  None,            // not a motion status report
  Moving,          // the motor turns
  RestBeforeMove,  // at rest, inside the latest start before its moving report
  Rest,            // at rest
};

class StartReports {
 public:
  // An accepted start on `node`.
  void started(int node, const trace::Record& start);
  // What a callback is, as a report of its node.
  MotionReport take(const trace::Record& callback);

 private:
  struct Latest {
    int64_t returnUs = std::numeric_limits<int64_t>::min();
    bool movingReported = false;
  };
  std::map<int, Latest> latest_;
};

}  // namespace halvane::tools
