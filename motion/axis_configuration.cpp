#include "motion/axis_configuration.h"

#include "motion/checked_call.h"
#include "motion/failure_texts.h"

namespace halvane {
int configureBothAxes(MotionContext& context) {
  ControllerLink& link = context.link;
  for (int index = 0; index < kAxisCount; ++index) {
    const int node = context.axes.at(index)->nodeId();
    const AxisParameters applied = context.table.applied(index);
    if (!checked(context, link.PCAN_SetAccel(node, applied.acceleration), texts::kSetAccelFail) ||
        !checked(context, link.PCAN_SetDecel(node, applied.acceleration), texts::kSetDecelFail) ||
        !checked(context, link.PCAN_SetMicroStep(node, applied.microstep),
                 texts::kSetMicroStepFail) ||
        !checked(context, link.PCAN_SetStartSpeed(node, applied.startSpeed),
                 texts::kSetStartSpeedFail) ||
        !checked(context, link.PCAN_SetStopSpeed(node, applied.startSpeed),
                 texts::kSetStopSpeedFail)) {
      return 0;
    }
  }
  return 1;
}

int applyChanges(MotionContext& context, CMotorAxis& axis, int axisIndex) {
  ControllerLink& link = context.link;
  AxisParameterTable& table = context.table;
  const int node = axis.nodeId();
  const AxisParameters wanted = table.requested(axisIndex);
  const AxisParameters inForce = table.applied(axisIndex);

  if (wanted.acceleration != inForce.acceleration) {
    if (!checked(context, link.PCAN_SetAccel(node, wanted.acceleration), texts::kSetAccelFail) ||
        !checked(context, link.PCAN_SetDecel(node, wanted.acceleration), texts::kSetDecelFail)) {
      return 0;
    }
    table.setApplied(axisIndex, &AxisParameters::acceleration, wanted.acceleration);
  }
  if (wanted.microstep != inForce.microstep) {
    if (!checked(context, link.PCAN_SetMicroStep(node, wanted.microstep),
                 texts::kSetMicroStepFail)) {
      return 0;
    }
    table.setApplied(axisIndex, &AxisParameters::microstep, wanted.microstep);
  }
  if (wanted.startSpeed != inForce.startSpeed) {
    if (!checked(context, link.PCAN_SetStartSpeed(node, wanted.startSpeed),
                 texts::kSetStartSpeedFail) ||
        !checked(context, link.PCAN_SetStopSpeed(node, wanted.startSpeed),
                 texts::kSetStopSpeedFail)) {
      return 0;
    }
    table.setApplied(axisIndex, &AxisParameters::startSpeed, wanted.startSpeed);
  }
  if (wanted.maxSpeed != inForce.maxSpeed) {
    if (!checked(context, link.PCAN_SetMaxSpeed(node, wanted.maxSpeed), texts::kSetMaxSpeedFail)) {
      return 0;
    }
    table.setApplied(axisIndex, &AxisParameters::maxSpeed, wanted.maxSpeed);
  }
  return 1;
}

}  // namespace halvane
