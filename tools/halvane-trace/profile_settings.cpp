#include "tools/halvane-trace/profile_settings.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <sstream>

#include "common/call_selector.h"

namespace halvane::tools {
namespace {

// Fewer samples than this tell no figure.
constexpr int64_t kMinSamples = 3;
// A start's stand shorter than this is the wheel's first steps and the read's own time, not a lag.
constexpr int64_t kNoLagUs = 50'000;

std::string msFigure(int64_t us) {
  std::ostringstream out;
  out.setf(std::ios::fixed);
  out.precision(us % 1000 == 0 ? 0 : 1);
  out << static_cast<double>(us) / 1000.0;
  return out.str();
}

std::string wholeMs(int64_t us) {
  return std::to_string(static_cast<int64_t>(std::llround(static_cast<double>(us) / 1000.0)));
}

std::string spreadText(const Spread& s) {
  return "median " + msFigure(s.medianUs().value_or(0)) + " ms, " + msFigure(s.minUs) + "-" +
         msFigure(s.maxUs) + " ms, " + std::to_string(s.count) + " samples";
}

// The rig's nodes 1 and 2, as its rules name them: "*" for both.
std::string nodeList(const std::vector<int>& nodes) {
  if (nodes == std::vector<int>{1, 2}) {
    return "*";
  }
  std::string text;
  for (int node : nodes) {
    if (!text.empty()) {
      text += ',';
    }
    text += std::to_string(node);
  }
  return text;
}

std::string numbers(const std::vector<int64_t>& values) {
  std::string text;
  for (size_t i = 0; i < values.size() && i < 8; ++i) {
    text += (i == 0 ? "" : ", ") + std::to_string(values[i]);
  }
  return text + (values.size() > 8 ? ", ..." : "");
}

// The rig's selector for calls (or moves) numbered `which` of `total`, as its settings write it:
// "" (all), "@k", "@k+", "@%k"; none where no selector gives exactly these.
std::optional<std::string> selector(const std::vector<int64_t>& which, int64_t count,
                                    int64_t total) {
  if (which.empty() || count != static_cast<int64_t>(which.size())) {
    return std::nullopt;  // some were not kept
  }
  const int64_t first = which.front();
  if (count == total) {
    return "";
  }
  if (count == 1) {
    return selectorText({.first = first, .onlyFirst = true});
  }
  if (which.back() == total && count == total - first + 1) {
    return selectorText({.first = first});
  }
  const bool everyFirst =
      count == total / first &&
      std::all_of(which.begin(), which.end(), [&](int64_t n) { return n % first == 0; });
  if (everyFirst) {
    return selectorText({.every = first});
  }
  return std::nullopt;
}

// The rules as a setting's value: comma-separated.
std::string ruleList(const std::vector<std::string>& rules) {
  std::string value;
  for (const std::string& rule : rules) {
    value += (value.empty() ? "" : ",") + rule;
  }
  return value;
}

void reportDelay(const LibraryProfile& p, std::vector<SimSetting>& out) {
  int64_t inside = 0;
  Spread after;
  for (const auto& [node, n] : p.nodes) {
    inside += n.startReportsInside;
    for (int32_t us : n.startReportAfterReturn.samplesUs) {
      after.add(us);
    }
  }
  SimSetting s{"HALVANE_SIM_REPORT_DELAY_MS", std::nullopt, ""};
  if (inside + after.count < kMinSamples) {
    s.why =
        "too few starts with their report to tell (" + std::to_string(inside + after.count) + ")";
  } else if (after.count == 0) {
    s.why = "every start's report came inside the call (" + std::to_string(inside) +
            "): unset does that";
  } else if (inside > 0) {
    s.why = "the start's report came inside the call " + std::to_string(inside) +
            " times and after it " + std::to_string(after.count) + " times: no one delay";
  } else {
    s.value = wholeMs(*after.medianUs());
    s.why = "the start's report came after the call returned: " + spreadText(after);
  }
  out.push_back(s);
}

// Stale or lost rest reports: a rule per node over its moves.
void restRules(const LibraryProfile& p, const char* name, const char* what,
               std::vector<int64_t> NodeProfile::*moves, int64_t NodeProfile::*count,
               std::vector<SimSetting>& out) {
  std::map<std::string, std::vector<int>> nodesBySelector;
  std::vector<std::string> rules;
  std::string why;
  for (const auto& [node, n] : p.nodes) {
    if (n.*count == 0) {
      continue;
    }
    why += (why.empty() ? "" : "; ") + std::string("node ") + std::to_string(node) + ": " +
           std::to_string(n.*count) + " of " + std::to_string(n.moves) + " moves (" +
           numbers(n.*moves) + ")";
    const auto sel = selector(n.*moves, n.*count, n.moves);
    if (sel) {
      nodesBySelector[*sel].push_back(node);
    } else if (n.*count == static_cast<int64_t>((n.*moves).size())) {
      for (int64_t move : n.*moves) {
        rules.push_back(std::to_string(node) + "@" + std::to_string(move));
      }
    } else {
      why += ", too many on no pattern to list";
    }
  }
  for (const auto& [sel, nodes] : nodesBySelector) {
    rules.push_back(nodeList(nodes) + sel);
  }
  SimSetting s{name, std::nullopt, ""};
  if (rules.empty()) {
    s.why = std::string("no ") + what + " in the trace";
  } else {
    s.value = ruleList(rules);
    s.why = std::string(what) + ": " + why;
  }
  out.push_back(s);
}

void positionLag(const LibraryProfile& p, bool refreshSeen, std::vector<SimSetting>& out) {
  Bounds lag;
  int64_t moves = 0;
  for (const auto& [node, n] : p.nodes) {
    if (n.startLag.samples > 0) {
      lag.add(n.startLag.lowUs, *n.startLag.highUs);
      moves += n.movesShowingLag;
    }
  }
  SimSetting s{"HALVANE_SIM_POSITION_LAG_MS", std::nullopt, ""};
  if (moves == 0) {
    s.why = "no move's position reads changed: the lag cannot be told";
  } else if (lag.lowUs < kNoLagUs) {
    s.why = "reads changed within " + msFigure(*lag.highUs) + " ms of a start (" +
            std::to_string(moves) + " moves): no lag shown";
  } else if (refreshSeen) {
    s.why =
        "reads stood at the start, but they also repeat while turning: a lag is not told apart "
        "from the refresh";
  } else if (*lag.highUs < lag.lowUs) {
    s.why = "the moves disagree on how long reads stood at the start (" + msFigure(lag.lowUs) +
            " ms at least, " + msFigure(*lag.highUs) + " ms at most)";
  } else {
    s.value = wholeMs((lag.lowUs + *lag.highUs) / 2);
    s.why = "reads stood where the move began for " + msFigure(lag.lowUs) + "-" +
            msFigure(*lag.highUs) + " ms after its start (" + std::to_string(moves) + " moves)";
  }
  out.push_back(s);
}

void positionRefresh(const LibraryProfile& p, std::vector<SimSetting>& out) {
  int64_t changes = 0;
  int64_t repeats = 0;
  for (const auto& [node, n] : p.nodes) {
    changes += n.changesWhileTurning;
    repeats += n.repeatWhileTurning.count;
  }
  SimSetting s{"HALVANE_SIM_POSITION_REFRESH_MS", std::nullopt, ""};
  if (repeats == 0) {
    s.why = changes < kMinSamples ? "too few reads while a wheel turned to tell (" +
                                        std::to_string(changes) + " changes)"
                                  : "no read repeated while a wheel turned (" +
                                        std::to_string(changes) + " changes): every read fresh";
  } else if (const auto range = refreshPeriods(p); range && range->bands > 1) {
    s.why = "reads repeated " + std::to_string(repeats) +
            " times while a wheel turned; they fit refresh periods in " +
            std::to_string(range->bands) + " bands from " + std::to_string(range->lowMs) + " to " +
            std::to_string(range->highMs) + " ms: too few to tell which";
  } else if (range) {
    s.value = std::to_string((range->lowMs + range->highMs) / 2);
    s.why = "reads repeated " + std::to_string(repeats) +
            " times while a wheel turned; the reads fit a refresh every " +
            std::to_string(range->lowMs) + "-" + std::to_string(range->highMs) + " ms" +
            (range->misfits > 0 ? " (all but " + std::to_string(range->misfits) + " reads)" : "");
  } else {
    s.why = "reads repeated " + std::to_string(repeats) +
            " times while a wheel turned, on no fixed period";
  }
  out.push_back(s);
}

void positionWaver(const LibraryProfile& p, std::vector<SimSetting>& out) {
  std::vector<int> nodes;
  std::string why;
  int64_t compared = 0;
  for (const auto& [node, n] : p.nodes) {
    compared += n.readsAtRestCompared;
    if (n.waverings > 0) {
      nodes.push_back(node);
      why += (why.empty() ? "" : "; ") + std::string("node ") + std::to_string(node) + ": " +
             std::to_string(n.waverings) + " of " + std::to_string(n.readsAtRestCompared) +
             " reads at rest one or two counts off";
    }
  }
  SimSetting s{"HALVANE_SIM_POSITION_WAVER", std::nullopt, why};
  if (!nodes.empty()) {
    s.value = nodeList(nodes);
  } else if (compared == 0) {
    s.why = "no two reads of a standing wheel to compare";
  } else {
    s.why = "reads at rest stood still (" + std::to_string(compared) + " compared)";
  }
  out.push_back(s);
}

void failures(const LibraryProfile& p, const std::set<int>& offline, std::vector<SimSetting>& out) {
  std::vector<std::string> rules;
  std::string why;
  for (const auto& [key, f] : p.failures) {
    const auto& [name, node] = key;
    if (f.failed == 0 || offline.count(node) > 0) {
      continue;
    }
    std::string codes;
    for (const auto& [result, times] : f.byResult) {
      codes += (codes.empty() ? "" : ", ") + std::to_string(result) + " x" + std::to_string(times);
    }
    const std::string where = name + (node == 0 ? "" : ":" + std::to_string(node));
    why += (why.empty() ? "" : "; ") + where + " failed " + std::to_string(f.failed) + " of " +
           std::to_string(f.calls) + " calls (" + numbers(f.failedCalls) + "; results " + codes +
           ")";
    if (const auto sel = selector(f.failedCalls, f.failed, f.calls)) {
      rules.push_back(where + *sel);
    } else {
      why += ", on no pattern the rig repeats";
    }
  }
  SimSetting s{"HALVANE_SIM_FAIL", std::nullopt, why.empty() ? "no call failed" : why};
  if (!rules.empty()) {
    s.value = ruleList(rules);
    s.why += " (the rig fails with 9)";
  }
  out.push_back(s);
}

void online(const LibraryProfile& p, std::set<int>& offline, std::vector<SimSetting>& out) {
  Spread delay;
  std::vector<int> never;
  for (const auto& [node, n] : p.nodes) {
    for (int32_t us : n.onlineAfterOpen.samplesUs) {
      delay.add(us);
    }
    if (!n.cameOnline && n.onlineAnswers > 0 && n.onlineNo == n.onlineAnswers) {
      never.push_back(node);
      offline.insert(node);
    }
  }
  SimSetting s{"HALVANE_SIM_ONLINE_DELAY_MS", std::nullopt, ""};
  if (delay.count == 0) {
    s.why = "no node reported itself online after an Open";
  } else {
    s.value = wholeMs(*delay.medianUs());
    s.why = "from the Open's return to a node's online report: " + spreadText(delay);
  }
  out.push_back(s);
  SimSetting o{"HALVANE_SIM_OFFLINE", std::nullopt, "every node asked came online"};
  if (!never.empty()) {
    o.value = nodeList(never);
    o.why = "never reported online, and answered that it is not";
  } else if (p.opens == 0) {
    o.why = "the bus was never opened";
  }
  out.push_back(o);
}

void statusPeriod(const LibraryProfile& p, std::vector<SimSetting>& out) {
  Spread interval;
  for (const auto& [node, n] : p.nodes) {
    for (int32_t us : n.repeatInterval.samplesUs) {
      interval.add(us);
    }
  }
  SimSetting s{"HALVANE_SIM_STATUS_PERIOD_MS", std::nullopt, ""};
  if (interval.count < kMinSamples) {
    s.why =
        "no status reported again without a start (" + std::to_string(interval.count) + " repeats)";
  } else {
    s.value = wholeMs(*interval.medianUs());
    s.why = "the same status reported again without a start: " + spreadText(interval);
  }
  out.push_back(s);
}

}  // namespace

std::vector<SimSetting> simSettings(const LibraryProfile& p) {
  std::vector<SimSetting> out;
  std::set<int> offline;
  online(p, offline, out);
  reportDelay(p, out);
  restRules(p, "HALVANE_SIM_STALE_REST", "stale rest reports", &NodeProfile::staleRestMoves,
            &NodeProfile::staleRests, out);
  restRules(p, "HALVANE_SIM_LOSE_REST", "lost rest reports", &NodeProfile::lostRestMoves,
            &NodeProfile::lostRests, out);
  statusPeriod(p, out);
  const bool refreshSeen = std::any_of(p.nodes.begin(), p.nodes.end(), [](const auto& n) {
    return n.second.repeatWhileTurning.count > 0;
  });
  positionLag(p, refreshSeen, out);
  positionRefresh(p, out);
  positionWaver(p, out);
  failures(p, offline, out);
  return out;
}

std::string settingsText(const std::vector<SimSetting>& settings) {
  std::string text =
      "# The simulated rig's settings for the library this trace shows (NAME=VALUE; a setting\n"
      "# left out keeps the rig's default). Not told by a trace: TIME_SCALE, START_ANGLE,\n"
      "# NO_SWITCH and POSITION_AT_REST (the wheels and their switches are the rig's own).\n";
  for (const SimSetting& s : settings) {
    text += "# " + s.name.substr(sizeof("HALVANE_SIM_") - 1) + ": " + s.why + "\n";
    if (s.value) {
      text += s.name + "=" + *s.value + "\n";
    }
  }
  return text;
}

std::string profileTable(const LibraryProfile& p) {
  std::ostringstream out;
  out << "The trace: " << p.records << " records over " << msFigure((p.lastUs - p.firstUs) / 1000)
      << " s"
      << (p.simulated ? ", the simulated rig's own (durations are its modelled bus time)" : "")
      << "\n";
  const bool cutOff = p.operatorSteps && !p.windowEnded;
  if (p.gapCount > 0 || cutOff) {
    out << "Not whole:";
    for (const std::string& gap : p.gaps) {
      out << " " << gap << ";";
    }
    if (p.gapCount > static_cast<int64_t>(p.gaps.size())) {
      out << " and " << p.gapCount - static_cast<int64_t>(p.gaps.size()) << " more;";
    }
    out << (cutOff ? " the operator's steps end without the window's end (cut off);" : "")
        << " what is measured is what the trace holds\n";
  }
  out << "\nCalls by export                    calls   median ms      p99 ms      max ms\n";
  for (const auto& [name, d] : p.durations) {
    char line[160];
    const bool p99 = d.us.size() >= 100;
    std::snprintf(line, sizeof line, "  %-30s %7zu %11s %11s %11s\n", name.c_str(), d.us.size(),
                  msFigure(d.quantileUs(0.5).value_or(0)).c_str(),
                  p99 ? msFigure(*d.quantileUs(0.99)).c_str() : "-",
                  msFigure(d.quantileUs(1.0).value_or(0)).c_str());
    out << line;
  }
  out << "  (p99 is given from 100 calls on)\n";
  for (const auto& [name, count] : p.missingByExport) {
    out << "  " << name << ": missing from the library, " << count << " calls\n";
  }
  out << "\nFailures\n";
  bool anyFailure = false;
  for (const auto& [key, f] : p.failures) {
    if (f.failed > 0) {
      anyFailure = true;
      out << "  " << key.first << (key.second == 0 ? "" : " node " + std::to_string(key.second))
          << ": " << f.failed << " of " << f.calls << " calls (" << numbers(f.failedCalls) << ")\n";
    }
  }
  out << (anyFailure ? "" : "  none\n");
  for (const auto& [node, n] : p.nodes) {
    out << "\nNode " << node << "\n";
    out << "  starts accepted: " << n.moves << "; their moving report inside the call "
        << n.startReportsInside << ", after it returned " << n.startReportAfterReturn.count
        << (n.startReportAfterReturn.count > 0 ? " (" + spreadText(n.startReportAfterReturn) + ")"
                                               : "")
        << ", none " << n.startsWithoutReport << "\n";
    out << "  rest reports: " << n.restReports << " (inside the start " << n.restReportsInsideStart
        << "); stale " << n.staleRests << ", lost " << n.lostRests
        << ", only at the start (stale and lost, or a short move) " << n.undecidedRests
        << "; the same status again " << n.repeatedReports << "\n";
    if (n.restReportAfterReturn.count > 0) {
      out << "  a move's rest report after its start returned: "
          << spreadText(n.restReportAfterReturn) << "\n";
    }
    out << "  position reads: " << n.positionReads;
    if (n.startLag.samples > 0) {
      out << "; stood where the move began for " << msFigure(n.startLag.lowUs) << "-"
          << msFigure(*n.startLag.highUs) << " ms (" << n.movesShowingLag << " moves)";
    }
    out << "; while turning " << n.changesWhileTurning << " changes, " << n.repeatWhileTurning.count
        << " repeats"
        << (n.repeatWhileTurning.count > 0
                ? " (the longest " + msFigure(n.repeatWhileTurning.maxUs) + " ms)"
                : "")
        << "; at rest " << n.waverings << " of " << n.readsAtRestCompared
        << " one or two counts off\n";
    out << "  online: " << (n.cameOnline ? "reported" : "never reported");
    if (n.onlineAfterOpen.count > 0) {
      out << " (" << spreadText(n.onlineAfterOpen) << " after the Open returned)";
    }
    out << "; IsSlaveOnline answered " << n.onlineAnswers << " times, not online " << n.onlineNo
        << "\n";
  }
  return out.str();
}

}  // namespace halvane::tools
