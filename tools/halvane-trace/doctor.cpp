#include "tools/halvane-trace/doctor.h"

#include <algorithm>

#include "tools/halvane-trace/doctor_calls.h"
#include "tools/halvane-trace/doctor_moves.h"
#include "tools/halvane-trace/doctor_operator.h"
#include "trace/ring_reader.h"
#include "trace/trace_writer.h"

namespace halvane::tools {
namespace {

// Records are missing here (a small file is told apart: it loses nothing by itself).
bool recordsMissingHere(const trace::Record& r) {
  return isGap(r) && r.name != trace::kTraceSpaceShort;
}

std::string fieldsWords(const trace::Record& r) {
  const std::string text = trace::formatFields(r.fields);
  return text.empty() ? r.name : r.name + text;
}

}  // namespace

struct Doctor::State {
  // The session model reads the records in the order of their times and hands each on here.
  ModelBuilder modelBuilder{[this](const TraceLine& r) { take(r); }};
  FindingList findings;
  MoveDoctor moves{findings};
  CallDoctor calls{findings};
  OperatorDoctor steps{findings};
  std::vector<TraceLine> gaps;  // the first few; each is a finding
  size_t gapCount = 0;
  std::optional<TraceLine> lastStep;
  bool throughTracer = false;

  void take(const TraceLine& r);

  void step(const TraceLine& r) {
    lastStep = r;
    if (r.name == "message") {
      steps.messageShown(r);
      if (!calls.message(r) && !moves.message(r) && !steps.offlineMessage(r)) {
        steps.otherMessage(r);
      }
    } else if (r.name == "message-closed") {
      steps.messageClosed(r);
    } else if (r.name == "click" || r.name == trace::kWindowEnd) {
      if (steps.boundary(r)) {
        calls.commandBoundary(r);
      }
    }
  }

  void event(const TraceLine& r) {
    if (recordsMissingHere(r)) {
      moves.gap(r);
      if (++gapCount <= kSameFindingsTold) {
        gaps.push_back(r);
      }
    } else {
      moves.event(r);
    }
  }

  // How the trace ends, where it is not whole; what it leaves open is told with it.
  void ends(const SessionModel& model, const std::optional<trace::ReadError>& readError,
            const std::vector<OpenAtEnd>& open) {
    const bool windowEnded = lastStep && lastStep->name == trace::kWindowEnd;
    std::string openWords;
    std::vector<size_t> openLines;
    for (const OpenAtEnd& o : open) {
      openWords += "; " + o.text;
      openLines.insert(openLines.end(), o.lines.begin(), o.lines.end());
    }
    if (!openWords.empty()) {
      openWords = "; what it shows of its last moments may be incomplete" + openWords;
    }
    const size_t lastLine = model.lines;
    if (readError && !readError->cutOff) {
      findings.add({Severity::Warning, "trace-unreadable", kBusLane,
                    "the trace cannot be read from " + lineWord(readError->line) + " (" +
                        trace::describe(*readError) + "): what follows is not read" + openWords,
                    withLast(openLines, readError->line)},
                   "unreadable ends");
    } else if ((readError && readError->cutOff) ||
               (model.operatorSteps.count > 0 && !windowEnded)) {
      findings.add(
          {Severity::Warning, "trace-cut-off", kBusLane,
           (lastLine == 0 ? std::string("the trace is cut off before its first whole line")
                          : "the trace is cut off after " + lineWord(lastLine)) +
               ", " + trace::formatMs(model.lastUs) + " ms into the run" +
               (windowEnded ? std::string(", after the window's end")
                            : std::string(", without the window's end (the program killed, a "
                                          "crash, power lost)")) +
               (readError ? "; the reader says: " + trace::describe(*readError) : "") + openWords,
           withLast(openLines, lastLine)},
          "cut-off ends");
    }
    for (const TraceLine& gap : gaps) {
      findings.add(
          {Severity::Warning,
           gap.name == trace::kTraceFull ? "trace-full" : "trace-gap",
           kBusLane,
           std::string(gap.name == trace::kTraceFull ? "the trace is full"
                                                     : "records are missing from the trace") +
               " at " + lineWord(gap.line) + " (" + fieldsWords(gap) +
               "): findings around it may be incomplete",
           {gap.line}},
          "gaps");
    }
    for (const TraceLine& r : model.gaps.first) {
      if (r.name == trace::kTraceSpaceShort) {
        findings.add({Severity::Note,
                      "trace-space-short",
                      kBusLane,
                      "the trace file is smaller than meant (" + lineWord(r.line) + ", " +
                          fieldsWords(r) + "): a long run keeps less of itself",
                      {r.line}},
                     "short files");
      }
    }
  }

  static std::vector<size_t> withLast(std::vector<size_t> lines, size_t last) {
    if (last > 0) {  // none where not one line was read
      lines.push_back(last);
    }
    return lines;
  }
};

Doctor::Doctor() : state_(std::make_unique<State>()) {}
Doctor::~Doctor() = default;

void Doctor::add(const trace::Record& r) {
  state_->modelBuilder.add(r);
}

void Doctor::State::take(const TraceLine& r) {
  State& s = *this;
  switch (r.kind) {
    case trace::Kind::Call:
      s.calls.call(r);
      s.moves.call(r);
      s.steps.call(r);
      break;
    case trace::Kind::Callback:
      s.moves.callback(r);
      s.steps.callback(r);
      break;
    case trace::Kind::Event:
      s.event(r);
      break;
    case trace::Kind::Operator:
      s.step(r);
      break;
    case trace::Kind::Header:
      s.throughTracer = s.throughTracer || r.field("tracer") != nullptr;
      break;
    case trace::Kind::InFlight:
      s.calls.inFlight(r);
      break;
    case trace::Kind::Crash:
      s.calls.crash(r);
      break;
  }
}

Doctor::Result Doctor::finish(const std::optional<trace::ReadError>& readError) {
  State& s = *state_;
  SessionModel model = s.modelBuilder.finish();
  const bool windowEnded = s.lastStep && s.lastStep->name == trace::kWindowEnd;
  const bool whole = windowEnded && s.gapCount == 0 && !readError;
  s.calls.finish(whole, s.throughTracer);
  s.ends(model, readError, s.moves.finish(whole, model.lastUs));
  return {s.findings.take(), std::move(model)};
}

std::vector<Finding> diagnose(const std::vector<trace::Record>& records,
                              const std::optional<trace::ReadError>& readError) {
  Doctor doctor;
  for (const trace::Record& r : records) {
    doctor.add(r);
  }
  return doctor.finish(readError).findings;
}

std::string doctorText(const std::vector<Finding>& findings, const SessionModel& model) {
  std::string out;
  if (findings.empty()) {
    out += "Nothing found in " + std::to_string(model.lines) + " lines.\n";
  } else {
    out += std::to_string(findings.size()) + (findings.size() == 1 ? " finding" : " findings") +
           " in " + std::to_string(model.lines) + " lines, most serious first:\n";
  }
  for (const Finding& f : findings) {
    out += "\n" + std::string(severityName(f.severity)) + ": " + f.text + ".\n  lines";
    for (const size_t line : f.lines) {
      out += ' ';
      out += std::to_string(line);
    }
    out += "\n";
  }
  const bool notWhole = std::any_of(findings.begin(), findings.end(), [](const Finding& f) {
    return f.kind.starts_with("trace-") && f.kind != "trace-space-short";
  });
  if (model.operatorSteps.count == 0 && !notWhole) {
    out += "\nThe trace holds no operator's steps: whether it is whole cannot be told.\n";
  } else if (model.windowEnded && !notWhole) {
    out += "\nThe trace is whole: it holds the window's end.\n";
  }
  return out;
}

}  // namespace halvane::tools
