// One record per turntable: its CAN node, whether the node reported itself online, and whether
// its motor is at rest.
#pragma once

#include <atomic>

#include "controller/controller_link.h"
#include "controller/manual_reset_event.h"
#include "controller/motion_reports.h"

namespace halvane {

class CMotorAxis {
 public:
  // Loads the vendor library if no earlier record has managed to.
  CMotorAxis(int nodeId, ControllerLink& link);
  CMotorAxis(const CMotorAxis&) = delete;
  CMotorAxis& operator=(const CMotorAxis&) = delete;

  int nodeId() const { return nodeId_; }
  bool isOnline() const { return online_.load() != 0; }
  void setOnline(bool online) { online_.store(online ? 1 : 0); }
  // Signalled while the motor is at rest.
  ManualResetEvent& idleEvent() { return idle_; }
  // The status callback's motion report: sets or resets the idle event, then numbers the report.
  void reportMotion(bool moving);
  const MotionReports& motionReports() const { return reports_; }

 private:
  const int nodeId_;
  std::atomic<int> online_{0};  // written by the library's thread, read by the window's
  ManualResetEvent idle_{true};
  MotionReports reports_;
};

// The two records, axis index 0 and 1. A record names its axis index: the first that matches;
// one that matches neither counts as index 0.
struct AxisPair {
  CMotorAxis* first = nullptr;
  CMotorAxis* second = nullptr;

  CMotorAxis* at(int index) const { return index == 0 ? first : second; }
  int indexOf(const CMotorAxis* axis) const { return axis == first ? 0 : axis == second ? 1 : 0; }
  // The record for a CAN node, first match first; nullptr when neither is that node.
  CMotorAxis* forNode(int nodeId) const;
};

}  // namespace halvane
