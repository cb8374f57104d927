#include "tools/halvane-trace/doctor_moves.h"

#include <cstdlib>

#include "trace/wait_reads.h"

namespace halvane::tools {
namespace {

// At the end of a whole trace a report may still be on its way: a rest is said to have gone
// unreported only once this long passed after it without one.
constexpr int64_t kReportDueUs = 1'000'000;
constexpr unsigned kSwitchStopBit = 0x01;

bool moved(int from, int to) {
  return countsApart(from, to) > kWaverCounts;
}

MoveDoctor::Read readOf(const TraceLine& r, int value) {
  return {r.timeUs, r.line, value};
}

}  // namespace

std::string MoveDoctor::stillWords(const Watch& w) {
  return "its position stood at " + std::to_string(w.stillFrom->value) + " from " +
         lineWord(w.stillFrom->line) + " to " + lineWord(w.stillTo->line);
}

void MoveDoctor::call(const TraceLine& r) {
  const int node = nodeOf(r);
  if (node == kBusLane) {
    return;
  }
  auto watch = moves_.find(node);
  // Any other call on the node, failed or not, ends a homing's wait.
  if (watch != moves_.end() && !trace::isEvidenceRead(r.name)) {
    watch->second.waiting = false;
  }
  if (r.missing || r.result != 0) {
    return;
  }
  if (r.name == "PCAN_SetMotorPos") {
    // A new zero: the reads after it cannot be set against those before.
    if (watch != moves_.end()) {
      watch->second.zeroed = true;
    }
    lastPosition_.erase(node);
  } else if (r.name == "PCAN_SetExtStopEnable") {
    armed_[node] = intArg(r, 1).value_or(0) != 0;
  } else if (r.name == "PCAN_GetGPIOValue" && r.out) {
    gpio_[node] = readOf(r, *r.out);
  } else if (r.name == trace::kMoveStart) {
    if (watch != moves_.end()) {
      close(watch->second, r);
    }
    start(r, node);
  } else if (r.name == trace::kPositionRead && r.out) {
    if (watch != moves_.end() && !watch->second.zeroed) {
      position(watch->second, r);
    }
    lastPosition_[node] = readOf(r, *r.out);
  } else if (r.name == trace::kStatusRead && r.out && watch != moves_.end()) {
    Watch& w = watch->second;
    w.lastStatus = readOf(r, *r.out);
    if (w.homing && (*r.out & kSwitchStopBit) != 0 && !w.switchStop) {
      w.switchStop = w.lastStatus;
    }
  }
}

void MoveDoctor::start(const TraceLine& r, int node) {
  Watch w;
  w.node = node;
  w.startUs = r.timeUs;
  w.startLine = r.line;
  w.thread = r.threadId;
  w.steps = intArg(r, 1).value_or(0);
  w.homing = armed_[node];
  if (w.homing && gpio_.contains(node)) {
    w.gpio = gpio_[node];
  }
  if (lastPosition_.contains(node)) {
    w.last = lastPosition_[node];
  }
  moves_[node] = w;
  startReports_.started(node, r);
}

void MoveDoctor::position(Watch& w, const TraceLine& r) {
  const Read read = readOf(r, *r.out);
  if (w.last && moved(w.last->value, read.value)) {
    w.changed = true;
  }
  if (!w.stillFrom || moved(w.stillFrom->value, read.value)) {
    w.stillFrom = read;
    w.stillTo.reset();
    w.stillShown.reset();
  } else {
    w.stillTo = read;
    w.stillShown = w.stillShown.value_or(read);
  }
  w.last = read;
  if (!w.report) {
    return;
  }
  if (!w.afterReport) {
    w.afterReport = read;
    return;
  }
  if (!moved(w.afterReport->value, read.value)) {
    return;
  }
  findings_.add({Severity::Warning,
                 "rest-report-stale",
                 w.node,
                 nodeWord(w.node) + ": a rest report came while the motor still moved: the " +
                     "StatusCallback at " + lineWord(w.report->line) + " said it was at rest, " +
                     "but the position read after it went from " +
                     std::to_string(w.afterReport->value) + " (" + lineWord(w.afterReport->line) +
                     ") to " + std::to_string(read.value) + " (" + lineWord(read.line) + ")",
                 {w.report->line, w.afterReport->line, read.line}},
                "stale rest reports on " + nodeWord(w.node));
  w.staleReportLine = w.report->line;
  w.report.reset();
  w.afterReport.reset();
}

void MoveDoctor::callback(const TraceLine& r) {
  const auto watch = moves_.find(nodeOf(r));
  if (startReports_.take(r) == MotionReport::Rest && watch != moves_.end()) {
    watch->second.report = readOf(r, 0);
    watch->second.afterReport.reset();
  }
}

void MoveDoctor::event(const TraceLine& r) {
  const auto node = r.intField("node");
  const std::string* report = r.field("report");
  if (r.name != "rest" || !node || report == nullptr || *report == "sent") {
    return;
  }
  const auto watch = moves_.find(static_cast<int>(*node));
  if (watch != moves_.end() && !watch->second.rigRest) {
    watch->second.rigRest = readOf(r, 0);
  }
}

void MoveDoctor::gap(const TraceLine& r) {
  for (auto& [node, watch] : moves_) {
    watch.gapLine = watch.gapLine.value_or(r.line);
  }
}

std::optional<MoveDoctor::Read> MoveDoctor::restShown(const Watch& w) {
  std::optional<Read> earliest;
  const auto take = [&](const std::optional<Read>& read) {
    if (read && (!earliest || read->us < earliest->us)) {
      earliest = read;
    }
  };
  take(w.switchStop);
  take(w.rigRest);
  if (w.changed && w.stillShown) {
    take(w.stillShown);
  }
  return earliest;
}

std::string MoveDoctor::restWords(const Watch& w, std::vector<size_t>& lines) {
  std::vector<std::string> words;
  if (w.changed && w.stillShown) {
    words.push_back(stillWords(w));
    lines.insert(lines.end(), {w.stillFrom->line, w.stillTo->line});
  }
  if (w.switchStop) {
    words.push_back("the control status read at " + lineWord(w.switchStop->line) +
                    " shows the home switch stopped it");
    lines.push_back(w.switchStop->line);
  }
  if (w.rigRest) {
    words.push_back("the simulated rig says so at " + lineWord(w.rigRest->line));
    lines.push_back(w.rigRest->line);
  }
  std::string text;
  for (size_t i = 0; i < words.size(); ++i) {
    text += (i == 0 ? "" : i + 1 == words.size() ? ", and " : ", ") + words[i];
  }
  return text;
}

std::string MoveDoctor::moveWords(const Watch& w) {
  return std::string(w.homing ? "the homing move" : "the move") + " of " + std::to_string(w.steps) +
         " steps started at " + lineWord(w.startLine);
}

void MoveDoctor::close(const Watch& w, const TraceLine& next) {
  const std::optional<Read> rest = restShown(w);
  if (!rest || w.report) {
    return;
  }
  std::vector<size_t> lines = {w.startLine, next.line};
  std::string text = nodeWord(w.node) + ": rest report lost: " + moveWords(w) + " came to rest (" +
                     restWords(w, lines) + "), and no rest report ";
  text += w.gapLine ? "is in the trace" : "came";
  text += " before the next move started (" + lineWord(next.line) + ")";
  if (w.staleReportLine) {
    text += "; the one at " + lineWord(*w.staleReportLine) + " came while it still moved";
  }
  if (w.gapLine) {
    text += "; records were lost at " + lineWord(*w.gapLine) + ": it may be among them";
  }
  if (w.staleReportLine) {
    lines.push_back(*w.staleReportLine);
  }
  findings_.add({Severity::Warning, "rest-report-lost", w.node, text, lines},
                "rest reports lost on " + nodeWord(w.node));
}

bool MoveDoctor::message(const TraceLine& step) {
  for (auto& [node, w] : moves_) {
    if (!w.homing || !w.waiting || w.thread != step.threadId) {
      continue;
    }
    w.waiting = false;
    if (w.lastStatus && (w.lastStatus->value & kSwitchStopBit) != 0) {
      return false;
    }
    // Without a control status read the trace shows no more than that the homing ended so.
    std::string text =
        nodeWord(node) + (w.lastStatus ? ": the homing never reached its home switch: "
                                       : ": the homing ended without showing its home "
                                         "switch reached, as no control status was read: ");
    std::vector<size_t> lines;
    if (w.gpio) {
      text += "it started off the switch (PCAN_GetGPIOValue gave " + std::to_string(w.gpio->value) +
              ", " + lineWord(w.gpio->line) + "), ";
      lines.push_back(w.gpio->line);
    }
    text += "its move of " + std::to_string(w.steps) + " steps started at " + lineWord(w.startLine);
    lines.push_back(w.startLine);
    if (w.changed && w.stillShown) {
      text += ", " + stillWords(w);
      lines.push_back(w.stillFrom->line);
    }
    const int64_t waitedTo = w.lastStatus ? w.lastStatus->us : step.timeUs;
    if (w.lastStatus) {
      text += ", and the last control status read (" + lineWord(w.lastStatus->line) +
              ") shows no stop by the switch";
      lines.push_back(w.lastStatus->line);
    }
    text +=
        "; it waited " + durationWord(waitedTo - w.startUs) + " for rest, and " + saidWords(step);
    lines.push_back(step.line);
    findings_.add({Severity::Fault, "home-switch-not-reached", node, text, lines},
                  "homings that never reached their switch on " + nodeWord(node));
    return true;
  }
  return false;
}

std::vector<OpenAtEnd> MoveDoctor::finish(bool whole, int64_t lastUs) {
  std::vector<OpenAtEnd> open;
  for (const auto& [node, w] : moves_) {
    const std::optional<Read> rest = restShown(w);
    if (rest && !w.report) {
      std::vector<size_t> lines = {w.startLine};
      const std::string restText = restWords(w, lines);
      if (whole && lastUs - rest->us >= kReportDueUs) {
        findings_.add({Severity::Warning, "rest-report-lost", node,
                       nodeWord(node) + ": rest report lost: " + moveWords(w) + " came to rest (" +
                           restText + "), and no rest report came in the " +
                           durationWord(lastUs - rest->us) + " to the trace's end",
                       lines},
                      "rest reports lost on " + nodeWord(node));
      } else if (!whole) {
        open.push_back({nodeWord(node) + ": " + moveWords(w) + " came to rest (" + restText +
                            "); its rest report is not in the trace",
                        lines});
      }
    } else if (!rest && !w.report && !whole) {
      open.push_back({nodeWord(node) + ": " + moveWords(w) + " was under way" +
                          (w.homing && w.waiting ? ", the homing waiting for its rest" : ""),
                      {w.startLine}});
    }
  }
  return open;
}

}  // namespace halvane::tools
