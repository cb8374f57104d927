#include "simview/fault_panel.h"

#include <gtest/gtest.h>

#include "simview/view_texts.h"

namespace halvane::simview {
namespace {

using Kind = sim::HandFault::Kind;

TEST(FaultPanel, EachControlMakesTheFaultThatFitsTheRigAsShown) {
  sim::RigSnapshot shown;
  shown.nodes[1].heldOffBus = true;
  shown.nodes[1].switchWorks = false;
  const int startRelStep = static_cast<int>(sim::ExportId::PCAN_StartRelStep);
  struct Case {
    int id;
    int chosenExport;
    std::optional<Kind> kind;
    int node;
    double degrees;
  };
  const Case cases[] = {
      {faultControlId(1, FaultRole::OffBus), -1, Kind::OffBus, 1, 0},
      {faultControlId(2, FaultRole::OffBus), -1, Kind::OnBus, 2, 0},
      {faultControlId(2, FaultRole::LoseRest), -1, Kind::LoseNextRest, 2, 0},
      {faultControlId(1, FaultRole::Switch), -1, Kind::HideSwitch, 1, 0},
      {faultControlId(2, FaultRole::Switch), -1, Kind::ShowSwitch, 2, 0},
      {faultControlId(1, FaultRole::TurnBack), -1, Kind::TurnByHand, 1, -kHandTurnDegrees},
      {faultControlId(2, FaultRole::TurnOn), -1, Kind::TurnByHand, 2, kHandTurnDegrees},
      {kFailNextId, startRelStep, Kind::FailNextCall, 1, 0},
      // No fault: the summary, a node that does not exist, no export chosen, or one past the table.
      {faultControlId(1, FaultRole::Summary), -1, std::nullopt, 0, 0},
      {faultControlId(3, FaultRole::OffBus), -1, std::nullopt, 0, 0},
      {faultControlId(0, FaultRole::OffBus), -1, std::nullopt, 0, 0},
      {kFailNextId, -1, std::nullopt, 0, 0},
      {kFailNextId, sim::kExportCount, std::nullopt, 0, 0},
      {kExportListId, startRelStep, std::nullopt, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    const auto fault = faultForClick(c.id, shown, c.chosenExport);
    ASSERT_EQ(fault.has_value(), c.kind.has_value());
    if (fault) {
      EXPECT_EQ(fault->kind, *c.kind);
      EXPECT_EQ(fault->node, c.node);
      EXPECT_EQ(fault->degrees, c.degrees);
      if (fault->kind == Kind::FailNextCall) {
        EXPECT_EQ(fault->exportId, sim::ExportId::PCAN_StartRelStep);
      }
    }
  }
}

TEST(FaultPanel, TheTwoWayButtonsSayWhatAClickWouldDo) {
  sim::NodeSnapshot node;
  EXPECT_EQ(faultButtonText(FaultRole::OffBus, node), texts::kTakeOff);
  EXPECT_EQ(faultButtonText(FaultRole::Switch, node), texts::kHideSwitch);
  node.heldOffBus = true;
  node.switchWorks = false;
  EXPECT_EQ(faultButtonText(FaultRole::OffBus, node), texts::kPutBack);
  EXPECT_EQ(faultButtonText(FaultRole::Switch, node), texts::kShowSwitch);
  EXPECT_TRUE(faultButtonText(FaultRole::Summary, node).empty());
}

}  // namespace
}  // namespace halvane::simview
