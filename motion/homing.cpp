#include "motion/homing.h"

#include <cstdint>
#include <limits>
#include <thread>

#include "motion/axis_configuration.h"
#include "motion/checked_call.h"
#include "motion/failure_texts.h"
#include "motion/rest_wait.h"

namespace halvane {
namespace {

constexpr int kHomingStepsPerMicrostep = 300;  // one and a half revolutions of 200 full steps
constexpr int kExtStopTrigger = 0;
constexpr int kHomingWorkMode = 0;
constexpr int kClearExtStopFlag = 1;

// Steps 10-11 and the control status read of step 12: start the homing move and wait for it to
// come to rest. False when the routine ends.
bool startAndWaitForRest(MotionContext& context, CMotorAxis& axis, int32_t steps,
                         bool stopFlagCleared, int& controlStatus) {
  ControllerLink& link = context.link;
  const int node = axis.nodeId();
  const RestWaitStart before = restWaitStart(context, axis, steps, stopFlagCleared);
  const CallOutcome start = link.PCAN_StartRelStep(node, steps);
  if (!checked(context, start, texts::kStartRelStepFail)) {
    return false;
  }
  if (start == CallOutcome::Done) {
    axis.idleEvent().reset();
    if (waitForRest(context, axis, before) == RestWaitOutcome::TimedOut) {
      context.alerts.alert(texts::kHomingTimeout);
      return false;
    }
  } else if (!axis.idleEvent().waitFor(restBound(context.homing, steps))) {
    // Nothing was started here, but a move an earlier command left turning may still run.
    context.alerts.alert(texts::kHomingTimeout);
    return false;
  }
  // The homing's own read, made once at rest: only this one ends the homing when it fails.
  return checked(context, link.PCAN_GetControlStatus(node, &controlStatus),
                 texts::kGetControlStatusFail);
}

// Steps 4-12: drive onto the switch with the external stop armed. False when the routine ends.
bool driveOntoSwitch(MotionContext& context, CMotorAxis& axis, int axisIndex) {
  ControllerLink& link = context.link;
  const int node = axis.nodeId();
  if (!checked(context, link.PCAN_SetExtStopTrigger(node, kExtStopTrigger),
               texts::kSetExtStopTriggerFail) ||
      !checked(context, link.PCAN_SetExtStopEnable(node, 1), texts::kSetExtStopEnableFail)) {
    return false;
  }
  const CallOutcome cleared = link.PCAN_ClearExtStopFlag(node, kClearExtStopFlag);
  if (!checked(context, cleared, texts::kClearExtStopFlagFail) ||
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

  int controlStatus = 0;
  if (!startAndWaitForRest(context, axis, steps, cleared == CallOutcome::Done, controlStatus)) {
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
