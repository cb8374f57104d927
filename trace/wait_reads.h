// The position reads a homing makes while it waits for a move to come to rest: how many there are
// depends on how long the move takes, so comparing and replaying sessions treat them apart.
#pragma once

#include <map>

#include "trace/trace_record.h"

namespace halvane::trace {

inline constexpr char kPositionRead[] = "PCAN_GetMotorPos";
inline constexpr char kMoveStart[] = "PCAN_StartRelStep";

// Feed it the calls in order; it says which are a wait's position reads: a node's position reads
// after its move started, up to its next other call.
class WaitReadTracker {
 public:
  bool isWaitRead(const Record& call);

 private:
  std::map<std::string, bool> waiting_;  // per node (the call's first argument)
};

}  // namespace halvane::trace
