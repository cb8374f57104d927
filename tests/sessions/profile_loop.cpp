#include "tests/sessions/profile_loop.h"

#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <vector>

#include "driver/operator_steps.h"
#include "tests/sessions/session_steps.h"
#include "tools/halvane-trace/library_profile.h"
#include "tools/halvane-trace/profile_settings.h"
#include "trace/trace_reader.h"

namespace halvane::sessions {
namespace {

// The program reads the position every 250 ms while a homing waits, so a lag shows only as the
// last read that still stood and the first that moved: the estimate (their middle) lies within
// half a poll of the lag, and a read's own timing adds a little.
constexpr int kLagToleranceMs = 150;
// The library's thread delivers a held-back report when it next wakes: every 2 ms while a wheel
// turns, and a loaded machine under Wine wakes it a few ms late.
constexpr int kReportDelayToleranceMs = 10;
// The online reports come on the library's thread, which may wake late on a loaded machine.
constexpr int kOnlineDelayToleranceMs = 50;
// The refresh period is the middle of the periods the reads fit best; reads 250 ms apart over a
// few seconds of turning, on one grid for both nodes, narrow that to about ten ms.
constexpr int kRefreshToleranceMs = 50;
// Periodic reports come on the library's own clock; each interval is measured between two of them.
constexpr int kStatusPeriodToleranceMs = 10;

// What the profile must give back for one setting.
struct Expected {
  std::string name;
  std::optional<std::string> exact;  // the value as planted
  std::optional<int> aboutMs;        // a number of ms, within `tolerance`
  int tolerance = 0;
  // Neither: the setting must be left out (the rig's default).
};

struct LoopCase {
  std::string name;
  std::map<std::wstring, std::wstring> settings;
  std::function<bool(e2e::ProgramSession&)> steps;
  std::vector<Expected> expected;
};

Expected exact(std::string name, std::string value) {
  return {std::move(name), std::move(value), std::nullopt, 0};
}
Expected within(std::string name, int ms, int tolerance) {
  return {std::move(name), std::nullopt, ms, tolerance};
}
Expected unset(std::string name) {
  return {std::move(name), std::nullopt, std::nullopt, 0};
}

const std::vector<LoopCase>& loopCases() {
  static const std::vector<LoopCase> all = {
      {"late-stale-lagging-failing",
       {{L"HALVANE_SIM_TIME_SCALE", L"2"},
        {L"HALVANE_SIM_ONLINE_DELAY_MS", L"500"},
        {L"HALVANE_SIM_REPORT_DELAY_MS", L"30"},
        {L"HALVANE_SIM_STALE_REST", L"1"},
        {L"HALVANE_SIM_POSITION_LAG_MS", L"400"},
        {L"HALVANE_SIM_FAIL", L"PCAN_SetDir:2@2"}},
       [](e2e::ProgramSession& s) {
         if (!e2e::openAndConfigure(s) || !command(s, IDC_RESET1) || !command(s, IDC_RESET2) ||
             !slotMove(s, IDC_POSITION1, 2, IDC_SEND_POSITION1) ||
             !slotMove(s, IDC_POSITION2, 4, IDC_SEND_POSITION2) || !settled(s)) {
           return false;
         }
         s.window().selectListRow(IDC_POSITION2, 1);
         return commandWithMessage(s, IDC_SEND_POSITION2, L"SetDir fail!\n") && close(s);
       },
       {within("HALVANE_SIM_ONLINE_DELAY_MS", 500, kOnlineDelayToleranceMs),
        unset("HALVANE_SIM_OFFLINE"),
        within("HALVANE_SIM_REPORT_DELAY_MS", 30, kReportDelayToleranceMs),
        exact("HALVANE_SIM_STALE_REST", "1"), unset("HALVANE_SIM_LOSE_REST"),
        unset("HALVANE_SIM_STATUS_PERIOD_MS"),
        within("HALVANE_SIM_POSITION_LAG_MS", 400, kLagToleranceMs),
        unset("HALVANE_SIM_POSITION_REFRESH_MS"), unset("HALVANE_SIM_POSITION_WAVER"),
        exact("HALVANE_SIM_FAIL", "PCAN_SetDir:2@2")}},
      {"refreshed-wavering-reporting-failing",
       {{L"HALVANE_SIM_TIME_SCALE", L"1"},
        {L"HALVANE_SIM_POSITION_REFRESH_MS", L"400"},
        {L"HALVANE_SIM_POSITION_WAVER", L"1"},
        {L"HALVANE_SIM_STATUS_PERIOD_MS", L"200"},
        {L"HALVANE_SIM_FAIL", L"PCAN_SetDir:1@%2"}},
       [](e2e::ProgramSession& s) {
         // Every second slot move of node 1 fails before it starts, after its position read: the
         // next move's read follows it with the wheel standing, and shows the wavering.
         const auto failing = [&s](int row) {
           s.window().selectListRow(IDC_POSITION1, row);
           return commandWithMessage(s, IDC_SEND_POSITION1, L"SetDir fail!\n");
         };
         return e2e::openAndConfigure(s) && command(s, IDC_RESET1) && command(s, IDC_RESET2) &&
                slotMove(s, IDC_POSITION1, 2, IDC_SEND_POSITION1) && settled(s) && failing(3) &&
                slotMove(s, IDC_POSITION1, 3, IDC_SEND_POSITION1) && settled(s) && failing(5) &&
                close(s);
       },
       {within("HALVANE_SIM_ONLINE_DELAY_MS", 300, kOnlineDelayToleranceMs),
        unset("HALVANE_SIM_OFFLINE"), unset("HALVANE_SIM_REPORT_DELAY_MS"),
        unset("HALVANE_SIM_STALE_REST"), unset("HALVANE_SIM_LOSE_REST"),
        within("HALVANE_SIM_STATUS_PERIOD_MS", 200, kStatusPeriodToleranceMs),
        unset("HALVANE_SIM_POSITION_LAG_MS"),
        within("HALVANE_SIM_POSITION_REFRESH_MS", 400, kRefreshToleranceMs),
        exact("HALVANE_SIM_POSITION_WAVER", "1"), exact("HALVANE_SIM_FAIL", "PCAN_SetDir:1@%2")}},
      {"lost-rest-late-online-open-failing",
       {{L"HALVANE_SIM_TIME_SCALE", L"2"},
        {L"HALVANE_SIM_ONLINE_DELAY_MS", L"1200"},
        {L"HALVANE_SIM_LOSE_REST", L"2@1"},
        {L"HALVANE_SIM_FAIL", L"PCAN_OpenPort@1"}},
       [](e2e::ProgramSession& s) {
         s.window().click(IDC_OPEN);
         return s.window().takeMessage() == L"PCAN_OpenPort fail!\n" && e2e::openAndConfigure(s) &&
                command(s, IDC_RESET2) && slotMove(s, IDC_POSITION2, 3, IDC_SEND_POSITION2) &&
                close(s);
       },
       {within("HALVANE_SIM_ONLINE_DELAY_MS", 1200, kOnlineDelayToleranceMs),
        unset("HALVANE_SIM_OFFLINE"), unset("HALVANE_SIM_REPORT_DELAY_MS"),
        unset("HALVANE_SIM_STALE_REST"), exact("HALVANE_SIM_LOSE_REST", "2@1"),
        unset("HALVANE_SIM_STATUS_PERIOD_MS"), unset("HALVANE_SIM_POSITION_LAG_MS"),
        unset("HALVANE_SIM_POSITION_REFRESH_MS"), unset("HALVANE_SIM_POSITION_WAVER"),
        exact("HALVANE_SIM_FAIL", "PCAN_OpenPort@1")}},
  };
  return all;
}

// Empty when the setting came back as expected, else what is wrong.
std::string check(const Expected& e, const std::vector<tools::SimSetting>& settings) {
  const tools::SimSetting* found = nullptr;
  for (const tools::SimSetting& s : settings) {
    found = s.name == e.name ? &s : found;
  }
  if (found == nullptr) {
    return "not in the profile's settings";
  }
  const std::string given = found->value.value_or("(left out)");
  if (e.exact) {
    return given == *e.exact ? "" : "planted " + *e.exact + ", given " + given;
  }
  if (e.aboutMs) {
    const std::string want = "planted " + std::to_string(*e.aboutMs) + " +- " +
                             std::to_string(e.tolerance) + ", given " + given;
    if (!found->value) {
      return want;
    }
    const int value = std::atoi(found->value->c_str());
    return std::abs(value - *e.aboutMs) <= e.tolerance ? "" : want;
  }
  return found->value ? "planted nothing, given " + given : "";
}

}  // namespace

int profileLoop(const std::string& caseName) {
  for (const LoopCase& loop : loopCases()) {
    if (loop.name != caseName) {
      continue;
    }
    const RecordedRun run =
        recordRun(loop.settings, L"profile-loop-" + widen(loop.name), loop.steps);
    const std::string& text = run.trace;
    if (!run.played || text.empty()) {
      // The doctor's half of the loop goes here, on the same trace: each problem the case planted
      // named by `halvane-trace doctor` at the lines that show it.
      std::cout << "profile loop " << caseName << ": the program did not play the steps\n";
      return 1;
    }
    const tools::LibraryProfile profile = tools::buildProfile(trace::readTrace(text).records);
    const std::vector<tools::SimSetting> settings = tools::simSettings(profile);
    std::cout << tools::profileTable(profile) << "\n" << tools::settingsText(settings) << "\n";
    int wrong = 0;
    for (const Expected& e : loop.expected) {
      const std::string problem = check(e, settings);
      if (!problem.empty()) {
        std::cout << "WRONG " << e.name << ": " << problem << "\n";
        ++wrong;
      }
    }
    // The doctor's half of the loop goes here, on the same trace: each problem the case planted
    // named by `halvane-trace doctor` at the lines that show it.
    std::cout << "profile loop " << caseName
              << (wrong == 0 ? ": every setting came back\n" : ": settings came back wrong\n");
    return wrong == 0 ? 0 : 1;
  }
  std::cerr << "profile loop: no case " << caseName << "\n";
  return 2;
}

}  // namespace halvane::sessions
