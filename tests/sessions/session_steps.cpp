#include "tests/sessions/session_steps.h"

#include "driver/operator_steps.h"

namespace halvane::sessions {

using e2e::ProgramSession;
using e2e::waitForCommandButtons;

bool command(ProgramSession& session, int button) {
  // The click is handed over and handled before the wait begins: a quick command (a slot move
  // returns in about 10 ms) may disable and enable the buttons again between two looks at them.
  return session.window().clickAndWait(button) &&
         waitForCommandButtons(session.window(), true, kCommandWait);
}

bool commandWithMessage(ProgramSession& session, int button, const std::wstring& text) {
  session.window().click(button);
  return session.window().takeMessage(60000) == text &&
         waitForCommandButtons(session.window(), true, kCommandWait);
}

bool slotMove(ProgramSession& session, int list, int row, int button) {
  session.window().selectListRow(list, row);
  return command(session, button);
}

bool settled(ProgramSession& session) {
  return e2e::waitUntil(
      [&] {
        size_t starts = 0;
        size_t rests = 0;
        for (const std::string& line : session.trace()) {
          starts += line.find(" event move-start ") != std::string::npos ? 1 : 0;
          rests += line.find(" event rest ") != std::string::npos ? 1 : 0;
        }
        return starts == rests;
      },
      kCommandWait);
}

bool close(ProgramSession& session) {
  return settled(session) && session.closeByEscape();
}

std::string standInTrace(const e2e::ProgramSession& session) {
  const std::vector<std::string> traces = session.standInTraces();
  return traces.empty() ? std::string() : traces.back();
}

RecordedRun recordRun(const std::map<std::wstring, std::wstring>& settings,
                      const std::wstring& folderName,
                      const std::function<bool(e2e::ProgramSession&)>& steps) {
  e2e::SessionOptions options;
  options.throughTracer = true;
  options.simulatorSettings = settings;
  options.folderName = folderName;
  e2e::ProgramSession session(options);
  RecordedRun run;
  run.played = session.started() && steps(session) && session.hasExited(30000);
  run.trace = standInTrace(session);
  return run;
}

}  // namespace halvane::sessions
