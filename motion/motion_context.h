// What every axis command works with.
#pragma once

#include <chrono>

#include "controller/controller_link.h"
#include "controller/motor_axis.h"
#include "motion/axis_parameter_table.h"
#include "motion/worker_seams.h"

namespace halvane {

// The homing wait. A rest report may be stale or never come, so it is checked against the control
// status and the position, which is also read while the wheel turns; the whole wait is bounded.
struct HomingTimings {
  std::chrono::milliseconds positionPollInterval{250};
  // A rest report stands when the position read right after it is still the same this much later.
  std::chrono::milliseconds restConfirmGap{100};
  // Without a report: position unchanged this long, after it was seen to change, means rest.
  std::chrono::milliseconds stillForRest{1000};
  std::chrono::milliseconds minimumBound{120000};
  // Bound per homing step at the homing speed, so a slow move is never cut short.
  double boundPerStepMs = 4.0 * 1000.0 / 800.0;
  std::chrono::milliseconds settlePause{50};
};

struct MotionContext {
  ControllerLink& link;
  AxisParameterTable& table;
  AlertSink& alerts;
  AxisPair axes;
  HomingTimings homing{};
};

}  // namespace halvane
