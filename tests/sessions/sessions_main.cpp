// Recorded sessions: records them on the simulated rig through the recording stand-in, and replays
// a recording (the simulated library answering from it, its operator steps driving the program)
// and compares the new trace with it.
//   halvane_sessions record-all FOLDER
//   halvane_sessions replay TRACE [--fast] [--keep NEW_TRACE]
//   halvane_sessions profile-loop CASE
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>

#include "driver/program_session.h"
#include "tests/sessions/profile_loop.h"
#include "tests/sessions/scenarios.h"
#include "tests/sessions/session_steps.h"
#include "tests/sessions/step_player.h"
#include "tools/halvane-trace/trace_diff.h"
#include "trace/ring_reader.h"

namespace halvane::sessions {
namespace {

std::wstring windowsPath(const std::string& path) {
  std::wstring windows = widen(path);
  if (!windows.empty() && windows.front() == L'/') {
    windows = L"Z:" + windows;
  }
  std::replace(windows.begin(), windows.end(), L'/', L'\\');
  return windows;
}

bool writeFile(const std::wstring& path, const std::string& text) {
  std::ofstream out(narrow(path), std::ios::binary);
  out << text;
  return static_cast<bool>(out);
}

int recordAll(const std::string& folder) {
  int failed = 0;
  for (const Scenario& scenario : scenarios()) {
    const RecordedRun run =
        recordRun(scenario.settings, L"record-" + widen(scenario.name), scenario.steps);
    bool ok = run.played;
    const std::string& text = run.trace;
    const std::wstring path = windowsPath(folder + "/" + scenario.name + ".trace");
    // A session whose calls and callbacks did not change keeps its file, so that only changes of
    // behaviour show as changed sessions.
    const trace::ReadResult old = trace::readTrace(e2e::readFile(path));
    tools::DiffOptions diffOptions;
    diffOptions.ignoreWaitReads = true;
    const tools::TraceDiff diff =
        tools::diffTraces(old.records, trace::readTrace(text).records, diffOptions);
    const bool changed = old.records.empty() || !diff.same;
    ok = ok && !text.empty() && (!changed || writeFile(path, text));
    std::cout << (!ok       ? "FAILED to record "
                  : changed ? "recorded "
                            : "unchanged ")
              << scenario.name << "\n"
              << (ok && changed && !old.records.empty() ? diff.report : "");
    failed += ok ? 0 : 1;
  }
  return failed == 0 ? 0 : 1;
}

int replay(const std::string& recordingPath, Pace pace, const std::string& keepPath) {
  const std::wstring recording = windowsPath(recordingPath);
  const trace::ReadResult recorded = trace::readAnyTrace(e2e::readFile(recording));
  if (recorded.records.empty()) {
    std::cerr << "replay: " << recordingPath << " holds no trace"
              << (recorded.error ? ": " + trace::describe(*recorded.error) : "") << "\n";
    return 2;
  }
  e2e::SessionOptions options;
  options.throughTracer = true;
  options.simulatorSettings = {{L"HALVANE_SIM_REPLAY", recording}};
  std::wstring name = recording.substr(recording.find_last_of(L"\\/") + 1);
  options.folderName = L"replay-" + name;
  std::string problem;
  std::string text;
  std::vector<std::string> replayLines;
  {
    e2e::ProgramSession session(options);
    if (!session.started()) {
      problem = "the program did not start";
    } else if (playOperatorSteps(session, recorded.records, pace, problem) &&
               !session.hasExited(0)) {
      // A recording cut off before the window's end (the program killed, a crash, power lost):
      // what it holds after the last step happens here too before the window is closed.
      awaitRecordedEnd(session, recorded.records);
      session.closeByEscape();
    }
    text = standInTrace(session);
    for (const std::string& line : session.trace()) {
      if (line.find(" event divergence ") != std::string::npos ||
          line.find(" event replay-end ") != std::string::npos) {
        replayLines.push_back(line);
      }
    }
  }
  if (!keepPath.empty()) {
    writeFile(windowsPath(keepPath), text);
  }
  const trace::ReadResult replayed = trace::readTrace(text);
  tools::DiffOptions diffOptions;
  diffOptions.ignoreWaitReads = true;
  diffOptions.firstCutOff = !trace::recordsWindowEnd(recorded.records);
  const tools::TraceDiff diff = tools::diffTraces(recorded.records, replayed.records, diffOptions);
  for (const std::string& line : replayLines) {
    std::cout << "simulated library: " << line << "\n";
  }
  const bool diverged = std::any_of(replayLines.begin(), replayLines.end(), [](const auto& l) {
    return l.find(" event divergence ") != std::string::npos;
  });
  if (!problem.empty()) {
    std::cout << "replay of " << recordingPath << ": " << problem << "\n";
  }
  if (diff.pastFirstEnd > 0) {
    std::cout << "the recording is cut off: what the replay did past its end is not compared ("
              << diff.pastFirstEnd << " calls and callbacks)\n";
  }
  if (!diff.same) {
    std::cout << "--- " << recordingPath << " (recorded)\n+++ replayed\n" << diff.report;
  }
  const bool ok = problem.empty() && diff.same && !diverged;
  std::cout << "replay of " << recordingPath << (ok ? ": the same session\n" : ": DIFFERS\n");
  return ok ? 0 : 1;
}

int usage() {
  std::cerr << "usage: halvane_sessions record-all FOLDER\n"
               "       halvane_sessions replay TRACE [--fast] [--keep NEW_TRACE]\n"
               "       halvane_sessions profile-loop CASE\n";
  return 2;
}

}  // namespace
}  // namespace halvane::sessions

int main(int argc, char** argv) {
  using namespace halvane::sessions;
  const std::vector<std::string> args(argv + 1, argv + argc);
  int code = 2;
  if (args.size() == 2 && args[0] == "record-all") {
    code = recordAll(args[1]);
  } else if (args.size() == 2 && args[0] == "profile-loop") {
    code = profileLoop(args[1]);
  } else if (args.size() >= 2 && args[0] == "replay") {
    Pace pace = Pace::Recorded;
    std::string keep;
    for (size_t i = 2; i < args.size(); ++i) {
      if (args[i] == "--fast") {
        pace = Pace::AsFastAsPossible;
      } else if (args[i] == "--keep" && i + 1 < args.size()) {
        keep = args[++i];
      } else {
        return usage();
      }
    }
    code = replay(args[1], pace, keep);
  } else {
    code = usage();
  }
  halvane::e2e::endDriver(code);
}
