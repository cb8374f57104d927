// Per turntable: what the operator asked for (requested) and what is in force on the node
// (applied), plus the slot and angles of the next command. The window writes it, the worker reads
// it; a small lock keeps every read whole even when the two overlap (an online check while a
// homing still runs).
#pragma once

#include <array>
#include <cstdint>
#include <mutex>

namespace halvane {

inline constexpr int kAxisCount = 2;
// The maximum speed of a homing move: backwards, towards the switch.
inline constexpr int32_t kHomingMaxSpeed = -800;

struct AxisParameters {
  int32_t acceleration = 0;  // also sent as deceleration
  int32_t microstep = 0;
  int32_t startSpeed = 0;  // also sent as stop speed
  int32_t maxSpeed = 0;

  bool operator==(const AxisParameters&) const = default;
};

class AxisParameterTable {
 public:
  AxisParameters requested(int axis) const;
  void setRequested(int axis, const AxisParameters& values);

  AxisParameters applied(int axis) const;
  void setApplied(int axis, int32_t AxisParameters::*field, int32_t value);
  // The online check: requested becomes applied, both axes. The configuration that follows does
  // not send the maximum speed, so a homing speed left on a node stays recorded.
  void takeOverRequested();

  int32_t slot(int axis) const;
  void setSlot(int axis, int32_t slot);
  int32_t forwardAngle(int axis) const;
  void setForwardAngle(int axis, int32_t degrees);
  int32_t reverseAngle(int axis) const;
  void setReverseAngle(int axis, int32_t degrees);

 private:
  struct Entry {
    AxisParameters requested;
    AxisParameters applied;
    int32_t slot = 0;
    int32_t forwardAngle = 0;
    int32_t reverseAngle = 0;
  };
  mutable std::mutex mutex_;
  std::array<Entry, kAxisCount> axes_{};
};

}  // namespace halvane
