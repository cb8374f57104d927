// The homing's wait for its move to come to rest. A rest report may be stale (read from the node
// before the move, delivered late) or lost, and a position read may lag, stand still or fail, so
// rest is concluded only from evidence none of these can fake; the control status read that
// settles it is the one the homing goes on with.
#pragma once

#include <cstdint>

#include "controller/motion_reports.h"
#include "motion/motion_context.h"

namespace halvane {

struct RestWaitStart {
  MotionReportMarks beforeStart;  // the reports numbered up to here came before the move
  int32_t steps = 0;              // the move's length, which sizes the bound
  // The external-stop flag was cleared before the start, so a set bit 0 can only be this move's
  // stop on the switch.
  bool stopFlagCleared = false;
};

struct RestWaitResult {
  enum class Outcome { Rest, Failed, TimedOut };
  Outcome outcome = Outcome::TimedOut;
  int controlStatus = 0;  // read at rest
};

// Failed: the control status read failed and its text has been shown.
RestWaitResult waitForRest(MotionContext& context, CMotorAxis& axis, const RestWaitStart& start);

// The longest a homing waits for its move, from the move's length at the homing speed.
std::chrono::milliseconds restBound(const HomingTimings& timings, int32_t steps);

}  // namespace halvane
