// Operator steps the recorded sessions and the closed loop play, and the recording stand-in's trace
// of a run.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>

#include "driver/program_session.h"

namespace halvane::sessions {

inline constexpr std::chrono::milliseconds kCommandWait{60000};

// Clicks a command button and waits for the command's reply.
bool command(e2e::ProgramSession& session, int button);
// A command that ends in a message box: the box is read and dismissed.
bool commandWithMessage(e2e::ProgramSession& session, int button, const std::wstring& text);
bool slotMove(e2e::ProgramSession& session, int list, int row, int button);
// Every move has come to rest (so no report can arrive while the program ends, where the replay
// could not tell whether it comes in time).
bool settled(e2e::ProgramSession& session);
bool close(e2e::ProgramSession& session);

// The recording stand-in's trace of the session's run (its newest), as text.
std::string standInTrace(const e2e::ProgramSession& session);

// A run of the program on the simulated rig with `settings`, behind the recording stand-in, in a
// folder of its own: whether `steps` played and the program ended, and the stand-in's trace.
struct RecordedRun {
  bool played = false;
  std::string trace;
};
RecordedRun recordRun(const std::map<std::wstring, std::wstring>& settings,
                      const std::wstring& folderName,
                      const std::function<bool(e2e::ProgramSession&)>& steps);

}  // namespace halvane::sessions
