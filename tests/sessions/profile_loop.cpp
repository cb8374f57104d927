#include "tests/sessions/profile_loop.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <vector>

#include "driver/operator_steps.h"
#include "tests/sessions/session_steps.h"
#include "tools/halvane-trace/doctor.h"
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
// A stale rest report comes with its start: within this of the start's moving report.
constexpr int64_t kStartBurstUs = 20'000;

// What the profile must give back for one setting.
struct Expected {
  std::string name;
  std::optional<std::string> exact;  // the value as planted
  std::optional<int> aboutMs;        // a number of ms, within `tolerance`
  int tolerance = 0;
  // Neither: the setting must be left out (the rig's default).
};

// A problem the case planted, as doctor must name it: its kind and node, and the trace lines
// that show it, one of which the finding must point at.
struct Planted {
  std::string kind;
  int node = tools::kBusLane;
  std::function<bool(const std::vector<trace::Record>&, size_t)> shows;
};

struct LoopCase {
  std::string name;
  std::map<std::wstring, std::wstring> settings;
  std::function<bool(e2e::ProgramSession&)> steps;
  std::vector<Expected> expected;
  std::vector<Planted> problems;  // every finding doctor must give, and none other
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

bool isCallTo(const trace::Record& r, std::string_view name, int node) {
  return r.kind == trace::Kind::Call && r.name == name && tools::nodeOf(r) == node;
}

Planted failedCall(std::string name, int node) {
  return {"failed-call", node, [name, node](const std::vector<trace::Record>& all, size_t i) {
            return isCallTo(all[i], name, node) && all[i].result.value_or(0) != 0;
          }};
}

// A rest report that came with a move's start: right after the start's moving report (late,
// where reports are held back), so stale.
Planted staleReport(int node) {
  return {"rest-report-stale", node, [node](const std::vector<trace::Record>& all, size_t i) {
            if (!tools::isRestReport(all[i]) || tools::nodeOf(all[i]) != node) {
              return false;
            }
            return std::any_of(
                all.begin(), all.begin() + static_cast<long>(i), [&](const trace::Record& moving) {
                  return moving.kind == trace::Kind::Callback && moving.name == "StatusCallback" &&
                         tools::nodeOf(moving) == node && !tools::isRestReport(moving) &&
                         all[i].timeUs - moving.timeUs < kStartBurstUs;
                });
          }};
}

// The node's first move: its rest report withheld.
Planted firstMoveLost(int node) {
  return {"rest-report-lost", node, [node](const std::vector<trace::Record>& all, size_t i) {
            const auto first = std::find_if(all.begin(), all.end(), [&](const trace::Record& r) {
              return isCallTo(r, "PCAN_StartRelStep", node);
            });
            return first != all.end() && first - all.begin() == static_cast<long>(i);
          }};
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
        exact("HALVANE_SIM_FAIL", "PCAN_SetDir:2@2")},
       {failedCall("PCAN_SetDir", 2), staleReport(1)}},
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
        exact("HALVANE_SIM_POSITION_WAVER", "1"), exact("HALVANE_SIM_FAIL", "PCAN_SetDir:1@%2")},
       {failedCall("PCAN_SetDir", 1), failedCall("PCAN_SetDir", 1)}},
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
        exact("HALVANE_SIM_FAIL", "PCAN_OpenPort@1")},
       {failedCall("PCAN_OpenPort", tools::kBusLane), firstMoveLost(2)}},
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

// How many findings doctor gave that no planted problem accounts for, each said; and each planted
// problem it did not name at a line that shows it. A call slow on a loaded machine is the
// machine's, not the library's: said, never counted.
int wrongFindings(const std::vector<Planted>& problems, const std::vector<trace::Record>& records) {
  std::vector<tools::Finding> findings = tools::diagnose(records);
  int wrong = 0;
  for (const Planted& p : problems) {
    const auto named = std::find_if(findings.begin(), findings.end(), [&](const tools::Finding& f) {
      return f.kind == p.kind && f.node == p.node &&
             std::any_of(f.lines.begin(), f.lines.end(), [&](size_t line) {
               return line >= 1 && line <= records.size() && p.shows(records, line - 1);
             });
    });
    if (named == findings.end()) {
      std::cout << "NOT FOUND by doctor: " << p.kind << " on node " << p.node
                << " at a line that shows it\n";
      ++wrong;
    } else {
      findings.erase(named);
    }
  }
  for (const tools::Finding& f : findings) {
    const bool machines = f.kind == "slow-calls";
    std::cout << (machines ? "also found (the machine's): " : "FOUND, NOT PLANTED: ") << f.text
              << "\n";
    wrong += machines ? 0 : 1;
  }
  return wrong;
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
      std::cout << "profile loop " << caseName << ": the program did not play the steps\n";
      return 1;
    }
    const std::vector<trace::Record> records = trace::readTrace(text).records;
    const tools::LibraryProfile profile = tools::buildProfile(records);
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
    // Doctor on the same trace: each problem the case planted named at the lines that show it.
    wrong += wrongFindings(loop.problems, records);
    std::cout << "profile loop " << caseName
              << (wrong == 0 ? ": every setting came back, every problem was named\n"
                             : ": the trace was read wrong\n");
    return wrong == 0 ? 0 : 1;
  }
  std::cerr << "profile loop: no case " << caseName << "\n";
  return 2;
}

}  // namespace halvane::sessions
