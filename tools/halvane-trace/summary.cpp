#include "tools/halvane-trace/summary.h"

#include <algorithm>
#include <cstdio>

#include "trace/trace_writer.h"

namespace halvane::tools {
namespace {

std::string laneName(int node) {
  return node == kBusLane ? "Bus (exports that name no node)" : "Node " + std::to_string(node);
}

std::string ms(int64_t us) {
  return trace::formatMs(us) + " ms";
}

// "12.000 ms (line 7)": a time and the trace line that shows it.
std::string msOnLine(int64_t us, size_t line) {
  return ms(us) + (line > 0 ? " (line " + std::to_string(line) + ")" : "");
}

std::string fieldsOf(const trace::Record& r) {
  const std::string text = trace::formatFields(r.fields);
  return text.empty() ? text : text.substr(1);
}

// ", and 12 more" where only the first were kept.
std::string more(const Kept& kept) {
  const size_t left = kept.count - kept.first.size();
  return left == 0 ? "" : ", and " + std::to_string(left) + " more";
}

std::string padded(const std::string& text, size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

// Why a move under way where the trace ends shows no report: what the trace says of its end.
std::string whyTraceEndsEarly(const SessionModel& model) {
  if (model.gaps.count > 0) {
    return "under way where the trace ends; the trace is not whole";
  }
  if (model.windowEnded) {
    return "under way where the trace ends; the window was closed first";
  }
  return model.operatorSteps.count > 0 ? "under way where the trace ends; the trace was cut off"
                                       : "under way where the trace ends";
}

void describeNode(std::string& out, int node, const NodeSummary& s, const std::string& whyCut) {
  out += "\n" + laneName(node) + "\n  calls by export:\n";
  for (const auto& [name, stats] : s.byExport) {
    out += "    " + padded(name, 24) + std::to_string(stats.calls);
    if (stats.missing > 0) {
      out += ", " + std::to_string(stats.missing) + " missing";
    }
    if (stats.failures.count > 0) {
      out += ", " + std::to_string(stats.failures.count) + " failed:";
      for (const TraceLine& f : stats.failures.first) {
        out += ' ';
        out += f.signature();
        out += " -> " + std::to_string(*f.result) + " at " + msOnLine(f.timeUs, f.line) + ";";
      }
      out.pop_back();
      out += more(stats.failures);
    }
    out += "\n";
  }
  if (node == kBusLane) {
    return;
  }
  int lost = 0;
  int notInTrace = 0;
  out += "  moves: " + std::to_string(s.moves.size()) + "\n";
  for (size_t i = 0; i < s.moves.size(); ++i) {
    const Move& m = s.moves[i];
    lost += m.end == MoveEnd::ReportLost || m.end == MoveEnd::NoReport ? 1 : 0;
    notInTrace += m.end == MoveEnd::TraceEnds ? 1 : 0;
    out += "    #" + std::to_string(i + 1) + " at " + msOnLine(m.startUs, m.startLine) + ", " +
           std::to_string(m.steps) + " steps" + (m.homing ? " (homing)" : "") + ", " +
           std::string(moveEndName(m.end)) +
           (m.bySwitch && m.end != MoveEnd::ExtStop ? " (stopped by the home switch)" : "");
    if (m.endUs) {
      out += m.end == MoveEnd::NoReport || m.end == MoveEnd::TraceEnds ? ", position still from "
                                                                       : " at ";
      out += msOnLine(*m.endUs, m.endLine) + ", took " + ms(*m.endUs - m.startUs);
    }
    out += "\n";
  }
  out += "  rest reports: " + std::to_string(s.restReports) + " sent, " + std::to_string(lost) +
         " lost, " + std::to_string(s.lateReports) + " late" +
         (notInTrace > 0 ? ", " + std::to_string(notInTrace) + " not in the trace (" + whyCut + ")"
                         : "") +
         "\n";
  out += "  online changes:";
  for (const OnlineChange& change : s.onlineChanges) {
    out += std::string(" ") + (change.state == 1 ? "online" : "offline") + " at " +
           msOnLine(change.timeUs, change.line) + ";";
  }
  if (s.onlineChanges.empty()) {
    out += " none";
  } else {
    out.pop_back();
  }
  out += "\n  bus time: " + ms(s.busUs) + "\n";
}

}  // namespace

std::string summaryText(const SessionModel& model) {
  std::string out;
  if (model.header) {
    out += "Recorded by: " + fieldsOf(*model.header) + "\n";
  }
  out += "Span: " + ms(model.firstUs) + " to " + ms(model.lastUs) + ", " +
         std::to_string(model.lines) + " lines\n";
  for (const TraceLine& r : model.gaps.first) {
    out += "Not whole: at " + msOnLine(r.timeUs, r.line) + ", " + r.name + " " + fieldsOf(r) + "\n";
  }
  if (!model.windowEnded && model.operatorSteps.count > 0) {
    out +=
        "Not whole: the trace ends without the window's end (the program killed, a crash, "
        "power lost)\n";
  }
  for (const auto& [node, summary] : model.nodes) {
    describeNode(out, node, summary, whyTraceEndsEarly(model));
  }

  out += "\nLongest calls:\n";
  for (const trace::Record& call : model.longestCalls) {
    out +=
        "  " + ms(callDuration(call)) + "  " + call.signature() + " at " + ms(call.timeUs) + "\n";
  }
  for (const trace::Record& r : model.inFlight.first) {
    const std::string* since = r.field("for");
    out += "  in flight for " + (since != nullptr ? *since : std::string("?")) +
           " ms: " + r.signature() + " at " + ms(r.timeUs) + "\n";
  }
  if (model.inFlight.count > model.inFlight.first.size()) {
    out += "  in flight" + more(model.inFlight).substr(1) + "\n";
  }

  out += "\nOperator's steps and messages:";
  if (model.operatorSteps.count == 0) {
    out += " none recorded\n";
  } else {
    out += "\n";
    for (const trace::Record& step : model.operatorSteps.first) {
      out += "  " + ms(step.timeUs) + "  " + step.name + " " + fieldsOf(step) + "\n";
    }
    if (model.operatorSteps.count > model.operatorSteps.first.size()) {
      out += "  " + more(model.operatorSteps).substr(2) + " steps\n";
    }
  }
  for (const trace::Record& r : model.crashes.first) {
    out += "\nCrash at " + ms(r.timeUs) + ": " + fieldsOf(r) + "\n";
  }
  return out;
}

}  // namespace halvane::tools
