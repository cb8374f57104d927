#include "sim/home_switch.h"

#include <cmath>
#include <cstdlib>

namespace halvane::sim {
namespace {

constexpr int64_t kRevolution = kWheelUnitsPerRevolution;

int64_t floorDiv(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

int64_t wrap(int64_t units) {
  return units - floorDiv(units, kRevolution) * kRevolution;
}

// Steps until the wheel crosses `boundary`: forwards from below it, backwards from at or above it.
int64_t stepsToCross(int32_t from, int32_t delta, int32_t boundary) {
  if (delta > 0) {
    const int64_t target = boundary + kRevolution * (floorDiv(from - boundary, kRevolution) + 1);
    return floorDiv(target - from + delta - 1, delta);
  }
  const int64_t target = boundary + kRevolution * floorDiv(from - boundary, kRevolution);
  return floorDiv(from - target, -static_cast<int64_t>(delta)) + 1;
}

}  // namespace

int32_t wheelUnitsFromDegrees(double degrees) {
  if (!std::isfinite(degrees)) {
    return 0;
  }
  const double turns = std::fmod(degrees / 360.0, 1.0);
  return static_cast<int32_t>(wrap(std::llround(turns * static_cast<double>(kRevolution))));
}

double degreesFromWheelUnits(int32_t units) {
  return static_cast<double>(wrap(units)) * 360.0 / static_cast<double>(kRevolution);
}

bool onSwitch(int32_t wheelUnits) {
  const int64_t u = wrap(wheelUnits);
  return u >= kSwitchArcStart && u < kSwitchArcEnd;
}

int64_t stepsToEnterSwitch(int32_t from, int32_t delta) {
  return stepsToCross(from, delta, delta > 0 ? kSwitchArcStart : kSwitchArcEnd);
}

int64_t stepsToLeaveSwitch(int32_t from, int32_t delta) {
  return stepsToCross(from, delta, delta > 0 ? kSwitchArcEnd : kSwitchArcStart);
}

int64_t switchEntriesWithin(int32_t from, int32_t delta, int64_t steps) {
  const int64_t first = stepsToEnterSwitch(from, delta);
  if (steps < first) {
    return 0;
  }
  const int64_t stepsPerRevolution = kRevolution / std::abs(static_cast<int64_t>(delta));
  return 1 + (steps - first) / stepsPerRevolution;
}

int32_t turnWheel(int32_t from, int32_t delta, int64_t steps) {
  // Whole revolutions first, so the product cannot overflow for any step count.
  const int64_t stepsPerRevolution = kRevolution / std::abs(static_cast<int64_t>(delta));
  const int64_t partial = steps % stepsPerRevolution;
  return static_cast<int32_t>(wrap(from + partial * delta));
}

}  // namespace halvane::sim
