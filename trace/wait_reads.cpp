#include "trace/wait_reads.h"

namespace halvane::trace {

bool WaitReadTracker::isWaitRead(const Record& call) {
  if (call.kind != Kind::Call || call.args.empty()) {
    return false;
  }
  bool& waiting = waiting_[call.args.front()];
  if (isEvidenceRead(call.name)) {
    return waiting;
  }
  waiting = call.name == kMoveStart;
  return false;
}

}  // namespace halvane::trace
