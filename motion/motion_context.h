// What every axis command works with.
#pragma once

#include <chrono>

#include "controller/controller_link.h"
#include "controller/motor_axis.h"
#include "motion/axis_parameter_table.h"
#include "motion/worker_seams.h"

namespace halvane {

// The homing wait. A rest report may never come, so rest is also confirmed from the position
// standing still, and the whole wait is bounded.
struct HomingTimings {
  std::chrono::milliseconds positionPollInterval{250};
  // Position unchanged this long, after it was seen to change, means rest.
  std::chrono::milliseconds stillForRest{1000};
  // The same when it was never seen to change: longer than any lag of the position read.
  std::chrono::milliseconds stillWithoutMotion{3000};
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
