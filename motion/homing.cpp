#include "motion/homing.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <thread>

#include "motion/axis_configuration.h"
#include "motion/checked_call.h"
#include "motion/failure_texts.h"

namespace halvane {
namespace {

constexpr int kHomingSpeed = -800;             // backwards, towards the switch
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

// Waits for the rest report; without one, the position standing still for a while also means
// rest. False when neither comes within the bound.
bool waitForRest(MotionContext& context, CMotorAxis& axis, int32_t steps) {
  const HomingTimings& timings = context.homing;
  const auto deadline = Clock::now() + restBound(timings, steps);
  int lastPosition = 0;
  bool havePosition = false;
  auto stillSince = Clock::now();
  while (!axis.idleEvent().waitFor(timings.positionPollInterval)) {
    const auto now = Clock::now();
    if (now >= deadline) {
      return false;
    }
    int position = 0;
    if (context.link.PCAN_GetMotorPos(axis.nodeId(), &position) != CallOutcome::Done) {
      continue;  // no evidence either way; the rest report or the bound decides
    }
    if (!havePosition || position != lastPosition) {
      havePosition = true;
      lastPosition = position;
      stillSince = now;
    } else if (now - stillSince >= timings.stillForRest) {
      axis.idleEvent().set();  // the report that never came
      return true;
    }
  }
  return true;
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
      !checked(context, link.PCAN_SetMaxSpeed(node, kHomingSpeed), texts::kSetMaxSpeedFail)) {
    return false;
  }
  const int64_t wantedSteps =
      static_cast<int64_t>(context.table.applied(axisIndex).microstep) * kHomingStepsPerMicrostep;
  if (wantedSteps < 0 || wantedSteps > std::numeric_limits<int32_t>::max()) {
    context.alerts.alert(texts::kMicroStepOutOfRange);  // would wrap into a wild move
    return false;
  }
  const auto steps = static_cast<int32_t>(wantedSteps);

  // Reset before the start, so a rest report that comes right after it is not lost.
  const bool wasIdle = axis.idleEvent().isSet();
  axis.idleEvent().reset();
  const CallOutcome start = link.PCAN_StartRelStep(node, steps);
  if (start != CallOutcome::Done && wasIdle) {
    axis.idleEvent().set();  // nothing was started
  }
  if (!checked(context, start, texts::kStartRelStepFail)) {
    return false;
  }
  if (!waitForRest(context, axis, steps)) {
    context.alerts.alert(texts::kHomingTimeout);
    return false;
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
  const int32_t maxSpeed = context.table.requested(axisIndex).maxSpeed;
  context.table.setApplied(axisIndex, &AxisParameters::maxSpeed, maxSpeed);
  checked(context, link.PCAN_SetMaxSpeed(node, maxSpeed), texts::kSetMaxSpeedFail);
}

}  // namespace halvane
