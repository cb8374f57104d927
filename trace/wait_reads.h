// The reads a homing makes while it waits for a move to come to rest (the position, and the control
// status whose stop flag shows the switch): how many there are depends on how long the move takes,
// so comparing and replaying sessions treat them apart.
#pragma once

#include <map>
#include <string>

#include "trace/trace_record.h"

namespace halvane::trace {

inline constexpr char kPositionRead[] = "PCAN_GetMotorPos";
inline constexpr char kStatusRead[] = "PCAN_GetControlStatus";
inline constexpr char kMoveStart[] = "PCAN_StartRelStep";

// The exports a wait reads for its evidence.
inline bool isEvidenceRead(const std::string& name) {
  return name == kPositionRead || name == kStatusRead;
}

// Feed it the calls in order; it says which are a wait's reads: a node's position and status reads
// after its move started, up to its next other call.
class WaitReadTracker {
 public:
  bool isWaitRead(const Record& call);

 private:
  std::map<std::string, bool> waiting_;  // per node (the call's first argument)
};

}  // namespace halvane::trace
