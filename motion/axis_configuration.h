// Putting parameters in force on the nodes: all of them at configuration, only what changed
// before a command.
#pragma once

#include "motion/motion_context.h"

namespace halvane {

// Both axes, from the applied values. 1 on success; 0 after the first failure's message.
int configureBothAxes(MotionContext& context);

// The groups whose requested value differs from the applied one, in order. A group's applied
// value changes only after all of its calls succeeded. 1 on success, 0 after a failure's message.
int applyChanges(MotionContext& context, CMotorAxis& axis, int axisIndex);

}  // namespace halvane
