// `halvane-trace timeline`: one self-contained HTML page with an inline SVG (no script, opens
// offline): a lane per node and one for the operator; calls as ticks (failures red), moves as
// bars coloured by how they ended, callbacks as marks, online spans, a time axis, idle gaps folded.
// Hovering shows each item's details.
#pragma once

#include <string>

#include "tools/halvane-trace/session_model.h"

namespace halvane::tools {

std::string timelineHtml(const SessionModel& model, const std::string& title);

}  // namespace halvane::tools
