// One controller node and the turntable it drives, as plain data, and the pure step function that
// moves it on: advance(state, dt). The home switch and the external stop act inside advance, so a
// test that drives it with made-up time steps gets the same answer every time.
#pragma once

#include <cstdint>

#include "sim/motion_profile.h"

namespace halvane::sim {

inline constexpr int kMaxAccelLevel = 8;
inline constexpr int kMaxMicrostep = 256;
inline constexpr int kMaxStepRate = 200000;  // steps/s, the fastest pulse rate accepted

inline constexpr unsigned kExtStopFlagInput1 = 0x01;  // the home switch's input
inline constexpr int kExtStopOnEntering = 0;          // trigger: the switch becomes active
inline constexpr int kExtStopOnLeaving = 1;           // trigger: the switch is left

// Values a node holds from power-on until it is told otherwise.
struct NodeSettings {
  int accelLevel = 4;
  int decelLevel = 4;
  int microstep = 16;  // 0 is accepted and runs as full steps
  int startSpeed = 400;
  int stopSpeed = 400;
  int maxSpeed = 2000;  // negative: runs the other way
  bool forward = true;
  int workMode = 0;
  int extStopTrigger = kExtStopOnEntering;
  bool extStopEnabled = false;
};

struct Move {
  bool active = false;
  int direction = 1;  // +1: the step counter counts up
  int64_t steps = 0;
  int64_t stepsDone = 0;
  int32_t wheelUnitsPerStep = 1;  // fixed when the move starts
  Profile profile;
};

struct NodeState {
  NodeSettings settings;
  int32_t position = 0;    // the step counter
  int32_t wheelUnits = 0;  // the wheel's angle (home_switch.h)
  bool switchWorks = true;
  unsigned extStopFlag = 0;  // latched; kExtStopFlagInput1 when the external stop ended a move
  Move move;
};

struct AdvanceResult {
  NodeState state;
  bool cameToRest = false;
  bool stoppedBySwitch = false;
  int64_t switchEntries = 0;  // times the wheel entered the switch's arc
};

// Acceleration in steps/s^2 for level 0-8.
double accelerationForLevel(int level);

// Steps per wheel unit for a microstep setting (0 counts as 1, full steps).
int32_t wheelUnitsPerStep(int microstep);

// What the controller makes of StartRelStep(steps): direction from SetDir, the sign of the maximum
// speed and the sign of the step count. The caller has checked that no move is running.
NodeState startMove(const NodeState& state, int32_t steps);

// The pure step function: the node dt seconds of motion time later.
AdvanceResult advance(const NodeState& state, double dt);

bool isMoving(const NodeState& state);
int inputWord(const NodeState& state);      // bit 7 (0x80): off the home switch
int controlStatus(const NodeState& state);  // bit 0: the last move was ended by the external stop
double wheelDegrees(const NodeState& state);

}  // namespace halvane::sim
