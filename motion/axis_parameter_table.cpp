#include "motion/axis_parameter_table.h"

namespace halvane {

AxisParameters AxisParameterTable::requested(int axis) const {
  std::lock_guard lock(mutex_);
  return axes_.at(axis).requested;
}

void AxisParameterTable::setRequested(int axis, const AxisParameters& values) {
  std::lock_guard lock(mutex_);
  axes_.at(axis).requested = values;
}

AxisParameters AxisParameterTable::applied(int axis) const {
  std::lock_guard lock(mutex_);
  return axes_.at(axis).applied;
}

void AxisParameterTable::setApplied(int axis, int32_t AxisParameters::*field, int32_t value) {
  std::lock_guard lock(mutex_);
  axes_.at(axis).applied.*field = value;
}

void AxisParameterTable::takeOverRequested() {
  std::lock_guard lock(mutex_);
  for (Entry& entry : axes_) {
    const int32_t maxSpeed = entry.applied.maxSpeed;
    entry.applied = entry.requested;
    if (maxSpeed == kHomingMaxSpeed) {
      entry.applied.maxSpeed = maxSpeed;
    }
  }
}

int32_t AxisParameterTable::slot(int axis) const {
  std::lock_guard lock(mutex_);
  return axes_.at(axis).slot;
}

void AxisParameterTable::setSlot(int axis, int32_t slot) {
  std::lock_guard lock(mutex_);
  axes_.at(axis).slot = slot;
}

int32_t AxisParameterTable::forwardAngle(int axis) const {
  std::lock_guard lock(mutex_);
  return axes_.at(axis).forwardAngle;
}

void AxisParameterTable::setForwardAngle(int axis, int32_t degrees) {
  std::lock_guard lock(mutex_);
  axes_.at(axis).forwardAngle = degrees;
}

int32_t AxisParameterTable::reverseAngle(int axis) const {
  std::lock_guard lock(mutex_);
  return axes_.at(axis).reverseAngle;
}

void AxisParameterTable::setReverseAngle(int axis, int32_t degrees) {
  std::lock_guard lock(mutex_);
  axes_.at(axis).reverseAngle = degrees;
}

}  // namespace halvane
