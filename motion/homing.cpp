#include "motion/homing.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <thread>

#include "motion/axis_configuration.h"
#include "motion/checked_call.h"
#include "motion/failure_texts.h"

namespace halvane {
namespace {

constexpr int kHomingStepsPerMicrostep = 300;  // one and a half revolutions of 200 full steps
constexpr int kExtStopTrigger = 0;
constexpr int kHomingWorkMode = 0;
constexpr int kClearExtStopFlag = 1;

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds restBound(const HomingTimings& timings, int32_t steps) {
  const auto fromMove = std::chrono::milliseconds(
      static_cast<int64_t>(timings.boundPerStepMs * static_cast<double>(std::max(steps, 0))));
  return std::max(timings.minimumBound, fromMove);
}

// How long the position must stand still to mean rest: briefly once it has been seen to change and
// a rest report has come since the start returned (the report confirmed), longer without the
// report, and longest when it was never seen to change (a move that ended inside the start, or a
// position read that lags the wheel).
std::chrono::milliseconds stillNeeded(const HomingTimings& timings, bool positionChanged,
                                      bool restReported) {
  if (!positionChanged) {
    return timings.stillWithoutMotion;
  }
  return restReported ? timings.positionPollInterval : timings.stillForRest;
}

// Waits for this move to come to rest. Anything delivered while the start was being accepted may
// describe the motor before the move, so a rest report ends the wait only after something that came
// later has shown motion: a moving report, or the position read changing. Otherwise the position
// standing still means rest. False when none of this comes within the bound.
bool waitForRest(MotionContext& context, CMotorAxis& axis, int32_t steps,
                 const MotionReportMarks& atStart) {
  const HomingTimings& timings = context.homing;
  const MotionReports& reports = axis.motionReports();
  const auto deadline = Clock::now() + restBound(timings, steps);
  std::optional<uint64_t> restCountsAfter;  // report number a rest report must come after
  std::optional<int> lastPosition;
  bool positionChanged = false;
  auto stillSince = Clock::now();
  auto nextRead = Clock::now();  // at once: where the move starts from
  for (;;) {
    const MotionReportMarks marks = reports.marks();
    if (!restCountsAfter && marks.lastMoving > atStart.count) {
      restCountsAfter = marks.lastMoving;
    }
    if (restCountsAfter && marks.lastRest > std::max(*restCountsAfter, marks.lastMoving)) {
      axis.idleEvent().set();  // also when the report came before the event was reset
      return true;
    }
    const auto now = Clock::now();
    if (now >= deadline) {
      return false;
    }
    int position = 0;
    if (now >= nextRead) {
      nextRead = now + timings.positionPollInterval;
      if (context.link.PCAN_GetMotorPos(axis.nodeId(), &position) == CallOutcome::Done) {
        if (lastPosition && position != *lastPosition) {
          positionChanged = true;
          // A rest report that came before this read may be the one from before the move.
          restCountsAfter = std::min(restCountsAfter.value_or(UINT64_MAX), reports.marks().count);
          stillSince = now;
        } else if (!lastPosition) {
          stillSince = now;
        } else if (now - stillSince >=
                   stillNeeded(timings, positionChanged, marks.lastRest > atStart.count)) {
          axis.idleEvent().set();  // the report that never came
          return true;
        }
        lastPosition = position;
      }
    }
    const auto wake = std::min(nextRead, deadline);
    reports.waitForReportAfter(marks.count,
                               std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now()));
  }
}

// Steps 4-12: drive onto the switch with the external stop armed. False when the routine ends.
bool driveOntoSwitch(MotionContext& context, CMotorAxis& axis, int axisIndex) {
  ControllerLink& link = context.link;
  const int node = axis.nodeId();
  if (!checked(context, link.PCAN_SetExtStopTrigger(node, kExtStopTrigger),
               texts::kSetExtStopTriggerFail) ||
      !checked(context, link.PCAN_SetExtStopEnable(node, 1), texts::kSetExtStopEnableFail) ||
      !checked(context, link.PCAN_ClearExtStopFlag(node, kClearExtStopFlag),
               texts::kClearExtStopFlagFail) ||
      !checked(context, link.PCAN_SetWorkMode(node, kHomingWorkMode), texts::kSetWorkModeFail) ||
      !checked(context, link.PCAN_SetMaxSpeed(node, kHomingMaxSpeed), texts::kSetMaxSpeedFail)) {
    return false;
  }
  // What is in force now, so that a homing that ends before its last step leaves the next command
  // to put the operator's speed back before it moves.
  context.table.setApplied(axisIndex, &AxisParameters::maxSpeed, kHomingMaxSpeed);
  const int64_t wantedSteps =
      static_cast<int64_t>(context.table.applied(axisIndex).microstep) * kHomingStepsPerMicrostep;
  if (wantedSteps < 0 || wantedSteps > std::numeric_limits<int32_t>::max()) {
    context.alerts.alert(texts::kMicroStepOutOfRange);  // would wrap into a wild move
    return false;
  }
  const auto steps = static_cast<int32_t>(wantedSteps);

  const CallOutcome start = link.PCAN_StartRelStep(node, steps);
  if (start == CallOutcome::Done) {
    axis.idleEvent().reset();
  }
  const MotionReportMarks atStart = axis.motionReports().marks();
  if (!checked(context, start, texts::kStartRelStepFail)) {
    return false;
  }
  if (start == CallOutcome::Done) {  // a missing export started nothing to wait for
    if (!waitForRest(context, axis, steps, atStart)) {
      context.alerts.alert(texts::kHomingTimeout);
      return false;
    }
  }
  int controlStatus = 0;
  if (!checked(context, link.PCAN_GetControlStatus(node, &controlStatus),
               texts::kGetControlStatusFail)) {
    return false;
  }
  if ((controlStatus & kControlStoppedBySwitch) == 0) {
    context.alerts.alert(texts::kHomeSwitchFailure);  // the rest position still becomes 0
  }
  std::this_thread::sleep_for(context.homing.settlePause);
  return true;
}

}  // namespace

void runHoming(MotionContext& context, CMotorAxis& axis, int axisIndex) {
  ControllerLink& link = context.link;
  const int node = axis.nodeId();
  if (applyChanges(context, axis, axisIndex) == 0) {
    return;
  }
  int inputs = 0;
  if (!checked(context, link.PCAN_GetGPIOValue(node, &inputs), texts::kGetGpioValueFail)) {
    return;
  }
  if ((inputs & kInputOffHomeSwitch) != 0 && !driveOntoSwitch(context, axis, axisIndex)) {
    return;
  }
  if (!checked(context, link.PCAN_SetExtStopEnable(node, 0), texts::kSetExtStopEnableFail) ||
      !checked(context, link.PCAN_ClearExtStopFlag(node, kClearExtStopFlag),
               texts::kClearExtStopFlagFail) ||
      !checked(context, link.PCAN_SetMotorPos(node, 0), texts::kSetMotorPosFail)) {
    return;
  }
  // Recorded only once in force: when the call fails the node keeps the homing speed.
  const int32_t maxSpeed = context.table.requested(axisIndex).maxSpeed;
  if (checked(context, link.PCAN_SetMaxSpeed(node, maxSpeed), texts::kSetMaxSpeedFail)) {
    context.table.setApplied(axisIndex, &AxisParameters::maxSpeed, maxSpeed);
  }
}

}  // namespace halvane
