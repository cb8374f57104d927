// RigCore's faults made by hand, kept with the settings' faults in its FaultRules. Each is written
// to the trace as a "hand" event.
#include <cmath>
#include <vector>

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
    faults_.failNextCall(fault.exportId);
    event(out, trace::eventRecord("hand", {{"node", "-"},
                                           {"fault", "fail-next-call"},
                                           {"export", exportName(fault.exportId)}}));
    return;
  }
  NodeController* node = findNode(fault.node);
  if (node == nullptr) {
    return;
  }
  std::optional<Duration>& joinsBus = joinsBusAt_[static_cast<size_t>(fault.node - 1)];
  std::vector<trace::Field> detail;  // what a turn by hand adds
  switch (fault.kind) {
    case HandFault::Kind::OffBus:
      faults_.holdOffBus(fault.node, true);
      joinsBus.reset();
      if (node->online()) {
        node->setOnline(false);
        event(out, trace::eventRecord("offline", {{"node", std::to_string(fault.node)}}));
        addOnlineReport(out, fault.node, 0);
      }
      break;
    case HandFault::Kind::OnBus:
      faults_.holdOffBus(fault.node, false);
      if (busOpen_ && !node->online() && !joinsBus) {
        joinsBus = now_ + config_.onlineDelay;  // joins the bus like a node powered up
      }
      break;
    case HandFault::Kind::LoseNextRest:
      faults_.loseRest(fault.node, node->restReports() + 1);
      break;
    case HandFault::Kind::HideSwitch:
    case HandFault::Kind::ShowSwitch:
      node->state().switchWorks = fault.kind == HandFault::Kind::ShowSwitch;
      break;
    case HandFault::Kind::TurnByHand: {
      NodeState& state = node->state();
      const auto units =
          static_cast<int64_t>(std::lround(fault.degrees * kWheelUnitsPerRevolution / 360.0));
      state.wheelUnits =
          turnWheel(state.wheelUnits, units < 0 ? -1 : 1, units < 0 ? -units : units);
      detail = {{"degrees", trace::decimalArg(fault.degrees, 3)},
                {"angle", trace::decimalArg(wheelDegrees(state), 3)}};
      break;
    }
    case HandFault::Kind::FailNextCall:
      break;
  }
  trace::Record hand = trace::eventRecord(
      "hand", {{"node", std::to_string(fault.node)}, {"fault", kindName(fault.kind)}});
  hand.fields.insert(hand.fields.end(), detail.begin(), detail.end());
  event(out, hand);
}

}  // namespace halvane::sim
