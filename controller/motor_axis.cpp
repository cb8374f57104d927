#include "controller/motor_axis.h"

namespace halvane {

CMotorAxis::CMotorAxis(int nodeId, ControllerLink& link) : nodeId_(nodeId) {
  link.ensureLoaded();
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
