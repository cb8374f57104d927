// The view's fault controls: their ids, what each button says for the node as shown, and which
// fault a click on each makes. Portable; the Win32 view only creates the controls and passes the
// clicks on.
#pragma once

#include <optional>
#include <string_view>

#include "sim/hand_faults.h"
#include "sim/rig_snapshot.h"

namespace halvane::simview {

// Each node's row of controls; the summary is a text, not a button.
enum class FaultRole { OffBus, LoseRest, Switch, TurnBack, TurnOn, Summary };
inline constexpr int kFaultRoleCount = 6;

inline constexpr int kExportListId = 1100;
inline constexpr int kFailNextId = 1101;
inline constexpr sim::ExportId kFirstChosenExport = sim::ExportId::PCAN_StartRelStep;
inline constexpr double kHandTurnDegrees = 5.0;

// Per node 1000 + 10 * node + role, below the export list and its button.
int faultControlId(int node, FaultRole role);

// The button's text while the node is as shown; empty for the summary.
std::string_view faultButtonText(FaultRole role, const sim::NodeSnapshot& node);

// The fault a click on control `id` makes on the rig as shown; `chosenExport` is the export list's
// selection (an index in the export table, negative for none). Nothing for any other control.
std::optional<sim::HandFault> faultForClick(int id, const sim::RigSnapshot& shown,
                                            int chosenExport);

}  // namespace halvane::simview
