#include "trace/wait_reads.h"

#include "common/export_names.h"

namespace halvane::trace {

bool WaitReadTracker::isWaitRead(const Record& call) {
  // The exports that speak to the adapter (opening the port, whose argument is its speed) say
  // nothing of a node's wait.
  if (call.kind != Kind::Call || call.args.empty() ||
      controllerExportTakesNode(call.name) == false) {
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
