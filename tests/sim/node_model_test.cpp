#include "sim/node_model.h"

#include <gtest/gtest.h>

#include <limits>

#include "common/controller_exports.h"
#include "sim/home_switch.h"

namespace halvane::sim {
namespace {

constexpr double kTick = 0.002;

NodeState nodeAt(double degrees, int microstep) {
  NodeState s;
  s.wheelUnits = wheelUnitsFromDegrees(degrees);
  s.settings.microstep = microstep;
  s.settings.accelLevel = 5;
  s.settings.decelLevel = 5;
  s.settings.startSpeed = 600;
  s.settings.stopSpeed = 600;
  s.settings.maxSpeed = 4000;
  return s;
}

// Ticks until rest; the results of every tick are folded into one.
AdvanceResult runToRest(NodeState s, double tick = kTick, int maxTicks = 1000000) {
  AdvanceResult total{s};
  for (int i = 0; i < maxTicks && isMoving(total.state); ++i) {
    const AdvanceResult r = advance(total.state, tick);
    total.state = r.state;
    total.cameToRest = total.cameToRest || r.cameToRest;
    total.stoppedBySwitch = total.stoppedBySwitch || r.stoppedBySwitch;
    total.switchEntries += r.switchEntries;
  }
  return total;
}

NodeState homingStart(double degrees, int microstep) {
  NodeState s = nodeAt(degrees, microstep);
  s.settings.maxSpeed = -800;
  s.settings.extStopEnabled = true;
  s.settings.extStopTrigger = kExtStopOnEntering;
  return startMove(s, microstep * 300);
}

TEST(NodeModel, DirectionComesFromSetDirTheMaxSpeedsSignAndTheSteps) {
  NodeState s = nodeAt(90, 32);
  EXPECT_EQ(startMove(s, 100).move.direction, 1);
  EXPECT_EQ(startMove(s, -100).move.direction, -1);
  s.settings.maxSpeed = -800;
  EXPECT_EQ(startMove(s, 100).move.direction, -1);
  s.settings.forward = false;
  EXPECT_EQ(startMove(s, 100).move.direction, 1);
  s.settings.maxSpeed = 800;
  EXPECT_EQ(startMove(s, 100).move.direction, -1);
}

TEST(NodeModel, AMoveTakesTimeAndEndsOnItsLastStep) {
  const NodeState moving = startMove(nodeAt(90, 2), 200);
  const AdvanceResult first = advance(moving, kTick);
  EXPECT_TRUE(isMoving(first.state));
  EXPECT_GT(first.state.position, 0);
  EXPECT_LT(first.state.position, 200);
  const AdvanceResult end = runToRest(moving);
  EXPECT_TRUE(end.cameToRest);
  EXPECT_FALSE(end.stoppedBySwitch);
  EXPECT_EQ(end.state.position, 200);
  EXPECT_NEAR(wheelDegrees(end.state), 270.0, 1e-9);  // half a turn at microstep 2
}

TEST(NodeModel, TheMoveTakesAsLongAsItsProfile) {
  const NodeState moving = startMove(nodeAt(90, 32), 6400);
  const double expected = profileDuration(moving.move.profile);
  int ticks = 0;
  NodeState s = moving;
  while (isMoving(s)) {
    s = advance(s, kTick).state;
    ++ticks;
  }
  EXPECT_NEAR(ticks * kTick, expected, kTick);
  EXPECT_GT(expected, 1.5);  // a turn at 4000 steps/s with its ramps
}

TEST(NodeModel, HomingStopsOnTheSwitchWithTheExternalStopArmed) {
  const AdvanceResult end = runToRest(homingStart(90, 32));
  EXPECT_TRUE(end.cameToRest);
  EXPECT_TRUE(end.stoppedBySwitch);
  EXPECT_TRUE(onSwitch(end.state.wheelUnits));
  EXPECT_EQ(inputWord(end.state), 0);
  EXPECT_EQ(controlStatus(end.state), kControlStoppedBySwitch);
  // From 90 degrees back to the switch's far edge at 3.6 degrees is 86.4 degrees, 1536 steps of
  // 1/6400 turn; the next step is the first on the switch.
  EXPECT_EQ(end.state.position, -1537);
  EXPECT_LT(end.state.move.stepsDone, 32 * 300);
}

TEST(NodeModel, WithoutTheExternalStopTheMovePassesTheSwitch) {
  NodeState s = nodeAt(90, 2);
  s.settings.maxSpeed = -800;
  const AdvanceResult end = runToRest(startMove(s, 600));
  EXPECT_FALSE(end.stoppedBySwitch);
  EXPECT_EQ(end.switchEntries, 2);  // a turn and a half from 90 degrees
  EXPECT_EQ(end.state.position, -600);
  EXPECT_EQ(controlStatus(end.state), 0);
  EXPECT_EQ(inputWord(end.state), kInputOffHomeSwitch);
}

TEST(NodeModel, AMissingSwitchIsNeverFound) {
  NodeState s = homingStart(90, 2);
  s.switchWorks = false;
  const AdvanceResult end = runToRest(s);
  EXPECT_TRUE(end.cameToRest);
  EXPECT_FALSE(end.stoppedBySwitch);
  EXPECT_EQ(end.switchEntries, 0);
  EXPECT_EQ(end.state.position, -600);
  EXPECT_EQ(controlStatus(end.state), 0);
  NodeState onIt = nodeAt(1, 2);
  onIt.switchWorks = false;
  EXPECT_EQ(inputWord(onIt), kInputOffHomeSwitch);
}

TEST(NodeModel, TriggerOneStopsOnLeavingTheSwitch) {
  NodeState s = nodeAt(1, 256);
  s.settings.extStopEnabled = true;
  s.settings.extStopTrigger = kExtStopOnLeaving;
  const AdvanceResult end = runToRest(startMove(s, 100000));
  EXPECT_TRUE(end.stoppedBySwitch);
  EXPECT_FALSE(onSwitch(end.state.wheelUnits));
  EXPECT_NEAR(wheelDegrees(end.state), 3.6, 0.01);
}

TEST(NodeModel, SameEndWhateverTheTimeSteps) {
  const NodeState start = homingStart(200, 16);
  const AdvanceResult fine = runToRest(start, 0.0005);
  const AdvanceResult coarse = runToRest(start, 0.05);
  const AdvanceResult once = advance(start, 100.0);
  EXPECT_EQ(fine.state.position, coarse.state.position);
  EXPECT_EQ(fine.state.position, once.state.position);
  EXPECT_EQ(fine.state.wheelUnits, once.state.wheelUnits);
  EXPECT_TRUE(once.stoppedBySwitch);
}

TEST(NodeModel, ChangingTheMicrostepDoesNotMoveTheWheel) {
  NodeState s = nodeAt(90, 32);
  s = runToRest(startMove(s, 1000)).state;
  const int32_t wheel = s.wheelUnits;
  const int32_t position = s.position;
  s.settings.microstep = 2;
  EXPECT_EQ(s.wheelUnits, wheel);
  EXPECT_EQ(s.position, position);
  s = runToRest(startMove(s, 400)).state;  // now a whole turn
  EXPECT_EQ(s.wheelUnits, wheel);
  EXPECT_EQ(s.position, position + 400);
}

TEST(NodeModel, MicrostepZeroRunsFullSteps) {
  EXPECT_EQ(wheelUnitsPerStep(0), kWheelUnitsPerFullStep);
  const NodeState end = runToRest(startMove(nodeAt(90, 0), 200)).state;
  EXPECT_EQ(end.position, 200);
  EXPECT_EQ(end.wheelUnits, wheelUnitsFromDegrees(90));
}

TEST(NodeModel, AZeroStepMoveComesToRestAtTheNextStep) {
  const AdvanceResult r = advance(startMove(nodeAt(90, 2), 0), 0.0);
  EXPECT_TRUE(r.cameToRest);
  EXPECT_EQ(r.state.position, 0);
}

TEST(NodeModel, TheStepCounterWrapsLikeASigned32BitRegister) {
  NodeState s = nodeAt(90, 256);
  s.position = std::numeric_limits<int32_t>::max() - 10;
  s.settings.maxSpeed = 200000;
  s.settings.startSpeed = 200000;
  const NodeState end = runToRest(startMove(s, 20)).state;
  EXPECT_EQ(end.position, std::numeric_limits<int32_t>::min() + 9);
}

TEST(NodeModel, AccelerationLevelsAndTheirLimits) {
  EXPECT_DOUBLE_EQ(accelerationForLevel(0), 2000);
  EXPECT_DOUBLE_EQ(accelerationForLevel(5), 12000);
  EXPECT_DOUBLE_EQ(accelerationForLevel(8), 18000);
  EXPECT_DOUBLE_EQ(accelerationForLevel(99), 18000);
}

TEST(NodeModel, AtRestAdvanceChangesNothing) {
  const NodeState s = nodeAt(90, 2);
  const AdvanceResult r = advance(s, 10);
  EXPECT_FALSE(r.cameToRest);
  EXPECT_EQ(r.state.position, s.position);
  EXPECT_EQ(r.state.wheelUnits, s.wheelUnits);
}

}  // namespace
}  // namespace halvane::sim
