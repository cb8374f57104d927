// RigCore's faults made by hand. Each is written to the trace as a "hand" event.
#include <cmath>
#include <cstdio>

#include "sim/home_switch.h"
#include "sim/rig_core.h"

namespace halvane::sim {
namespace {

const char* kindName(HandFault::Kind kind) {
  switch (kind) {
    case HandFault::Kind::OffBus:
      return "off-bus";
    case HandFault::Kind::OnBus:
      return "on-bus";
    case HandFault::Kind::LoseNextRest:
      return "lose-next-rest";
    case HandFault::Kind::FailNextCall:
      return "fail-next-call";
    case HandFault::Kind::HideSwitch:
      return "hide-switch";
    case HandFault::Kind::ShowSwitch:
      return "show-switch";
    case HandFault::Kind::TurnByHand:
      return "turn";
  }
  return "?";
}

}  // namespace

void RigCore::applyHandFault(const HandFault& fault, Outbox& out) {
  if (fault.kind == HandFault::Kind::FailNextCall) {
    // A rule of its own counts from this moment: its first call is the next one.
    config_.failures.push_back({fault.exportId, 0, {1, true}});
    failureCalls_.push_back(0);
    event(out,
          std::string("hand node=- fault=fail-next-call export=") + exportName(fault.exportId));
    return;
  }
  Node* node = findNode(fault.node);
  if (node == nullptr) {
    return;
  }
  const size_t index = static_cast<size_t>(fault.node - 1);
  std::string detail;
  switch (fault.kind) {
    case HandFault::Kind::OffBus:
      config_.neverOnline[index] = true;
      node->onlineAt.reset();
      if (node->online) {
        node->online = false;
        event(out, "offline node=" + std::to_string(fault.node));
        OutItem report;
        report.kind = OutItem::Kind::OnlineReport;
        report.node = fault.node;
        out.push_back(report);
      }
      break;
    case HandFault::Kind::OnBus:
      config_.neverOnline[index] = false;
      if (busOpen_ && !node->online && !node->onlineAt) {
        node->onlineAt = now_ + config_.onlineDelay;  // joins the bus like a node powered up
      }
      break;
    case HandFault::Kind::LoseNextRest:
      config_.lostRests.push_back({fault.node, {node->restReports + 1, true}});
      break;
    case HandFault::Kind::HideSwitch:
    case HandFault::Kind::ShowSwitch:
      node->state.switchWorks = fault.kind == HandFault::Kind::ShowSwitch;
      break;
    case HandFault::Kind::TurnByHand: {
      const auto units =
          static_cast<int64_t>(std::lround(fault.degrees * kWheelUnitsPerRevolution / 360.0));
      node->state.wheelUnits =
          turnWheel(node->state.wheelUnits, units < 0 ? -1 : 1, units < 0 ? -units : units);
      char text[64];
      std::snprintf(text, sizeof text, " degrees=%.3f angle=%.3f", fault.degrees,
                    wheelDegrees(node->state));
      detail = text;
      break;
    }
    case HandFault::Kind::FailNextCall:
      break;
  }
  event(out, "hand node=" + std::to_string(fault.node) + " fault=" + kindName(fault.kind) + detail);
}

}  // namespace halvane::sim
