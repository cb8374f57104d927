// Slot moves (always forwards, shortest forward distance) and rotations by whole degrees. Both
// only start the move.
#pragma once

#include "motion/motion_context.h"

namespace halvane {

enum class Rotation { Forward, Reverse };

void moveToSlot(MotionContext& context, CMotorAxis& axis, int axisIndex);
void rotate(MotionContext& context, CMotorAxis& axis, int axisIndex, Rotation rotation);

}  // namespace halvane
