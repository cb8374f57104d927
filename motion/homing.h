// Homing: drive the turntable onto its home switch with the external stop armed, wait for rest,
// and make the rest position step 0.
#pragma once

#include "motion/motion_context.h"

namespace halvane {

void runHoming(MotionContext& context, CMotorAxis& axis, int axisIndex);

}  // namespace halvane
