#include "controller/motor_axis.h"

namespace halvane {

CMotorAxis::CMotorAxis(int nodeId, ControllerLink& link) : nodeId_(nodeId) {
  link.ensureLoaded();
}

void CMotorAxis::reportMotion(bool moving) {
  if (moving) {
    idle_.reset();
  } else {
    idle_.set();
  }
  reports_.record(moving);  // after the event, so a waiter that sees the report sees the event too
}

CMotorAxis* AxisPair::forNode(int nodeId) const {
  if (first != nullptr && first->nodeId() == nodeId) {
    return first;
  }
  if (second != nullptr && second->nodeId() == nodeId) {
    return second;
  }
  return nullptr;
}

}  // namespace halvane
