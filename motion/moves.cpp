#include "motion/moves.h"

#include <cstdint>
#include <limits>

#include "motion/axis_configuration.h"
#include "motion/checked_call.h"
#include "motion/failure_texts.h"

namespace halvane {
namespace {

constexpr int64_t kFullStepsPerRevolution = 200;
constexpr int kSlotCount = 6;
constexpr int kClearAllExtStopFlags = 255;

// Starts a relative move; the idle event is reset once the controller has accepted it.
void startMove(MotionContext& context, CMotorAxis& axis, int forward, int32_t steps) {
  ControllerLink& link = context.link;
  const int node = axis.nodeId();
  if (!checked(context, link.PCAN_SetDir(node, forward), texts::kSetDirFail)) {
    return;
  }
  const CallOutcome start = link.PCAN_StartRelStep(node, steps);
  if (start == CallOutcome::Done) {
    axis.idleEvent().reset();
  }
  checked(context, start, texts::kStartRelStepFail);
}

}  // namespace

void moveToSlot(MotionContext& context, CMotorAxis& axis, int axisIndex) {
  ControllerLink& link = context.link;
  const int node = axis.nodeId();
  if (applyChanges(context, axis, axisIndex) == 0) {
    return;
  }
  const int64_t microstep = context.table.applied(axisIndex).microstep;
  const int64_t slot = context.table.slot(axisIndex);
  if (microstep <= 0) {
    context.alerts.alert(texts::kMicroStepZero);  // a revolution of no steps has no slots
    return;
  }
  if (slot < 0 || slot >= kSlotCount) {
    context.alerts.alert(texts::kSlotOutOfRange);
    return;
  }
  int position = 0;
  if (!checked(context, link.PCAN_GetMotorPos(node, &position), texts::kGetMotorPosFail)) {
    return;
  }
  const int64_t revolution = microstep * kFullStepsPerRevolution;
  const int64_t place = ((position % revolution) + revolution) % revolution;
  const int64_t target = slot * microstep * 100 / 3;
  const int64_t distance = target >= place ? target - place : target + revolution - place;
  if (distance == 0) {
    return;  // already on the slot
  }
  if (!checked(context, link.PCAN_ClearExtStopFlag(node, kClearAllExtStopFlags),
               texts::kClearExtStopFlagFail)) {
    return;
  }
  startMove(context, axis, 1, static_cast<int32_t>(distance));
}

void rotate(MotionContext& context, CMotorAxis& axis, int axisIndex, Rotation rotation) {
  ControllerLink& link = context.link;
  if (!checked(context, link.PCAN_ClearExtStopFlag(axis.nodeId(), kClearAllExtStopFlags),
               texts::kClearExtStopFlagFail)) {
    return;
  }
  if (applyChanges(context, axis, axisIndex) == 0) {
    return;
  }
  const bool forward = rotation == Rotation::Forward;
  const int64_t angle =
      forward ? context.table.forwardAngle(axisIndex) : context.table.reverseAngle(axisIndex);
  const int64_t microstep = context.table.applied(axisIndex).microstep;
  const int64_t steps = angle * microstep * kFullStepsPerRevolution / 360;
  // A negative angle or one the controller's step count cannot hold would turn the wheel wildly.
  if (angle < 0 || steps < 0 || steps > std::numeric_limits<int32_t>::max()) {
    context.alerts.alert(texts::kAngleOutOfRange);
    return;
  }
  startMove(context, axis, forward ? 1 : 0, static_cast<int32_t>(steps));
}

}  // namespace halvane
