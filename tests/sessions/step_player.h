// Plays a trace's operator steps on the real program: the values typed and selected, the clicks,
// the message boxes waited for and dismissed when they were, the window's end.
#pragma once

#include <string>
#include <vector>

#include "driver/program_session.h"
#include "trace/trace_record.h"

namespace halvane::sessions {

enum class Pace { Recorded, AsFastAsPossible };

// False, with what went wrong, when a step could not be played (a box that never came, a button
// that never became enabled).
bool playOperatorSteps(e2e::ProgramSession& session, const std::vector<trace::Record>& records,
                       Pace pace, std::string& problem);

// Waits until every recorded call and callback has been made here (answered or diverged), within
// the time the recording took after its last step and a margin; false when the bound passed.
bool awaitRecordedEnd(const e2e::ProgramSession& session,
                      const std::vector<trace::Record>& records);

}  // namespace halvane::sessions
