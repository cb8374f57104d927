// What every axis command works with.
#pragma once

#include <chrono>

#include "controller/controller_link.h"
#include "controller/motor_axis.h"
#include "motion/axis_parameter_table.h"
#include "motion/worker_seams.h"

namespace halvane {

// The homing wait. A rest report may be stale, repeated or never come, so rest is concluded from
// the control status and the position, read at a steady rate while the wheel turns (together at
// most eight reads a second); the whole wait is bounded.
struct HomingTimings {
  // The position is read this often; after a rest report it must stand still for two polls.
  std::chrono::milliseconds positionPollInterval{250};
  // The stop flag is read this often, and at a rest report no sooner than a poll after the last.
  std::chrono::milliseconds statusPollInterval{500};
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
