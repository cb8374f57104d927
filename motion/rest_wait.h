// The homing's wait for its move to come to rest. A rest report may be stale (read from the node
// before the move, delivered late), repeated or lost; a position read may lag, waver, stand still,
// fail or be missing; a status read may fail now and then. So rest is concluded only from evidence
// none of these can fake, and a read made for that evidence settles nothing when it fails.
#pragma once

#include <cstdint>
#include <optional>

#include "controller/motion_reports.h"
#include "motion/motion_context.h"

namespace halvane {

// What the wait needs from before the start.
struct RestWaitStart {
  MotionReportMarks beforeStart;      // the reports numbered up to here came before the move
  std::optional<int> positionBefore;  // so that a jump at the start counts as motion
  int32_t steps = 0;                  // the move's length, which sizes the bound
  // The external-stop flag was cleared before the start, so a set bit 0 can only be this move's
  // stop on the switch.
  bool stopFlagCleared = false;
};

enum class RestWaitOutcome { Rest, TimedOut };

// Read right before the start. A failed or missing read leaves the position unknown.
RestWaitStart restWaitStart(MotionContext& context, CMotorAxis& axis, int32_t steps,
                            bool stopFlagCleared);

// Rest: the idle event is set; the homing makes its own control status read next.
RestWaitOutcome waitForRest(MotionContext& context, CMotorAxis& axis, const RestWaitStart& start);

// The longest a homing waits for its move, from the move's length at the homing speed.
std::chrono::milliseconds restBound(const HomingTimings& timings, int32_t steps);

}  // namespace halvane
