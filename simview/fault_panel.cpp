#include "simview/fault_panel.h"

#include "simview/view_texts.h"

namespace halvane::simview {
namespace {

constexpr int kFirstNodeId = 1000;
constexpr int kNodeIdPitch = 10;

}  // namespace

int faultControlId(int node, FaultRole role) {
  return kFirstNodeId + kNodeIdPitch * node + static_cast<int>(role);
}

std::string_view faultButtonText(FaultRole role, const sim::NodeSnapshot& node) {
  switch (role) {
    case FaultRole::OffBus:
      return node.heldOffBus ? texts::kPutBack : texts::kTakeOff;
    case FaultRole::LoseRest:
      return texts::kLoseRest;
    case FaultRole::Switch:
      return node.switchWorks ? texts::kHideSwitch : texts::kShowSwitch;
    case FaultRole::TurnBack:
      return texts::kTurnBack;
    case FaultRole::TurnOn:
      return texts::kTurnOn;
    case FaultRole::Summary:
      break;
  }
  return {};
}

std::optional<sim::HandFault> faultForClick(int id, const sim::RigSnapshot& shown,
                                            int chosenExport) {
  using Kind = sim::HandFault::Kind;
  sim::HandFault fault;
  if (id == kFailNextId) {
    if (chosenExport < 0 || chosenExport >= sim::kExportCount) {
      return std::nullopt;
    }
    fault.kind = Kind::FailNextCall;
    fault.exportId = static_cast<sim::ExportId>(chosenExport);
    return fault;
  }
  const int node = (id - kFirstNodeId) / kNodeIdPitch;
  const int role = (id - kFirstNodeId) % kNodeIdPitch;
  if (id < kFirstNodeId || node < 1 || node > sim::kNodeCount || role >= kFaultRoleCount) {
    return std::nullopt;
  }
  const sim::NodeSnapshot& state = shown.nodes[static_cast<size_t>(node - 1)];
  fault.node = node;
  switch (static_cast<FaultRole>(role)) {
    case FaultRole::OffBus:
      fault.kind = state.heldOffBus ? Kind::OnBus : Kind::OffBus;
      return fault;
    case FaultRole::LoseRest:
      fault.kind = Kind::LoseNextRest;
      return fault;
    case FaultRole::Switch:
      fault.kind = state.switchWorks ? Kind::HideSwitch : Kind::ShowSwitch;
      return fault;
    case FaultRole::TurnBack:
    case FaultRole::TurnOn:
      fault.kind = Kind::TurnByHand;
      fault.degrees =
          static_cast<FaultRole>(role) == FaultRole::TurnOn ? kHandTurnDegrees : -kHandTurnDegrees;
      return fault;
    case FaultRole::Summary:
      break;
  }
  return std::nullopt;
}

}  // namespace halvane::simview
