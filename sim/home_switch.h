// The wheel and its home switch. The wheel's angle is kept in units of the finest microstep
// (1/256 of a full step), so a step of any microstep the controller accepts is a whole number of
// units, and changing the microstep never moves the wheel. The switch is a small arc at a fixed
// angle: [kSwitchArcStart, kSwitchArcEnd). It is wider than the largest step (one full step), so
// no step can jump over it.
#pragma once

#include <cstdint>

namespace halvane::sim {

inline constexpr int32_t kFullStepsPerRevolution = 200;
inline constexpr int32_t kWheelUnitsPerFullStep = 256;
inline constexpr int32_t kWheelUnitsPerRevolution =
    kFullStepsPerRevolution * kWheelUnitsPerFullStep;
inline constexpr int32_t kSwitchArcStart = 0;
inline constexpr int32_t kSwitchArcEnd = 2 * kWheelUnitsPerFullStep;  // 3.6 degrees

int32_t wheelUnitsFromDegrees(double degrees);
double degreesFromWheelUnits(int32_t units);

bool onSwitch(int32_t wheelUnits);

// Steps of `delta` units each (|delta| <= one full step, not 0), starting from `from`, after which
// the wheel first enters the switch's arc (or first leaves it). Always at least 1.
int64_t stepsToEnterSwitch(int32_t from, int32_t delta);
int64_t stepsToLeaveSwitch(int32_t from, int32_t delta);

// How often the wheel enters the arc during `steps` steps of `delta` units.
int64_t switchEntriesWithin(int32_t from, int32_t delta, int64_t steps);

// The wheel's place after `steps` steps of `delta` units, in [0, kWheelUnitsPerRevolution).
int32_t turnWheel(int32_t from, int32_t delta, int64_t steps);

}  // namespace halvane::sim
