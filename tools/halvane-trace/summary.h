// `halvane-trace summary`: the session in text, per node.
#pragma once

#include <string>

#include "tools/halvane-trace/session_model.h"

namespace halvane::tools {

std::string summaryText(const SessionModel& model);

}  // namespace halvane::tools
