#include "sim/node_model.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "common/controller_exports.h"
#include "sim/home_switch.h"

namespace halvane::sim {
namespace {

constexpr double kAccelPerLevel = 2000.0;  // steps/s^2 added by each level
constexpr double kStepRounding = 1e-6;     // a step counts once the profile is this close to it

int32_t addSteps(int32_t position, int direction, int64_t steps) {
  // The counter is a signed 32-bit register: it wraps like one.
  const uint32_t change = static_cast<uint32_t>(static_cast<uint64_t>(steps));
  const uint32_t base = static_cast<uint32_t>(position);
  return static_cast<int32_t>(direction > 0 ? base + change : base - change);
}

}  // namespace

double accelerationForLevel(int level) {
  return kAccelPerLevel * (std::clamp(level, 0, kMaxAccelLevel) + 1);
}

int32_t wheelUnitsPerStep(int microstep) {
  const int effective = std::clamp(microstep, 1, kMaxMicrostep);
  return kWheelUnitsPerFullStep / effective;
}

NodeState startMove(const NodeState& state, int32_t steps) {
  NodeState next = state;
  const NodeSettings& s = state.settings;
  Move& move = next.move;
  const int sign = (s.forward ? 1 : -1) * (s.maxSpeed < 0 ? -1 : 1) * (steps < 0 ? -1 : 1);
  move.active = true;
  move.direction = sign;
  move.steps = std::abs(static_cast<int64_t>(steps));
  move.stepsDone = 0;
  move.wheelUnitsPerStep = wheelUnitsPerStep(s.microstep);
  move.profile = makeProfile(
      static_cast<double>(move.steps), s.startSpeed, std::abs(static_cast<double>(s.maxSpeed)),
      s.stopSpeed, accelerationForLevel(s.accelLevel), accelerationForLevel(s.decelLevel));
  return next;
}

AdvanceResult advance(const NodeState& state, double dt) {
  AdvanceResult result{state};
  NodeState& next = result.state;
  Move& move = next.move;
  if (!move.active) {
    return result;
  }
  move.profile = advanceProfile(move.profile, dt);
  const int64_t reached =
      move.profile.finished()
          ? move.steps
          : std::min(move.steps,
                     static_cast<int64_t>(std::floor(move.profile.travelled + kStepRounding)));
  int64_t steps = reached - move.stepsDone;
  const int32_t delta = move.direction * move.wheelUnitsPerStep;

  bool stop = false;
  if (next.switchWorks && steps > 0) {
    if (next.settings.extStopEnabled) {
      const int64_t toStop = next.settings.extStopTrigger == kExtStopOnLeaving
                                 ? stepsToLeaveSwitch(next.wheelUnits, delta)
                                 : stepsToEnterSwitch(next.wheelUnits, delta);
      if (toStop <= steps) {
        steps = toStop;
        stop = true;
      }
    }
    result.switchEntries = switchEntriesWithin(next.wheelUnits, delta, steps);
  }
  next.position = addSteps(next.position, move.direction, steps);
  next.wheelUnits = turnWheel(next.wheelUnits, delta, steps);
  move.stepsDone += steps;

  if (stop) {
    next.extStopFlag |= kExtStopFlagInput1;
    result.stoppedBySwitch = true;
  }
  if (stop || move.stepsDone >= move.steps) {
    move.active = false;
    move.profile.speed = 0;
    result.cameToRest = true;
  }
  return result;
}

bool isMoving(const NodeState& state) {
  return state.move.active;
}

int inputWord(const NodeState& state) {
  const bool onHome = state.switchWorks && onSwitch(state.wheelUnits);
  return onHome ? 0 : kInputOffHomeSwitch;
}

int controlStatus(const NodeState& state) {
  return (state.extStopFlag & kExtStopFlagInput1) != 0 ? kControlStoppedBySwitch : 0;
}

double wheelDegrees(const NodeState& state) {
  return degreesFromWheelUnits(state.wheelUnits);
}

}  // namespace halvane::sim
