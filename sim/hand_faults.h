// Faults made by hand while the rig runs (from the view), with the meaning of the HALVANE_SIM_*
// settings: a node taken off the bus and put back, the next rest report lost, the next call of an
// export failed, a switch hidden, a wheel turned by hand (steps the controller never counts).
#pragma once

#include "sim/export_id.h"

namespace halvane::sim {

struct HandFault {
  enum class Kind { OffBus, OnBus, LoseNextRest, FailNextCall, HideSwitch, ShowSwitch, TurnByHand };
  Kind kind = Kind::OffBus;
  int node = 1;                                     // every kind but FailNextCall
  ExportId exportId = ExportId::PCAN_StartRelStep;  // FailNextCall, on any node
  double degrees = 0;                               // TurnByHand; negative turns the wheel back
};

}  // namespace halvane::sim
