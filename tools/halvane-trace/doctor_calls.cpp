#include "tools/halvane-trace/doctor_calls.h"

#include <chrono>

#include "common/can_bus_time.h"
#include "common/export_names.h"
#include "trace/trace_writer.h"

namespace halvane::tools {
namespace {

// What an adapter may add to the bus's time for a request and answer: 1 to 20 ms were seen.
constexpr int64_t kAdapterLatencyUs = 20'000;
// Without the bus speed (the trace lacks the Open) the slowest is taken, which calls fewest slow.
constexpr int kSlowestRateKbps = 10;

std::string nodeLead(int node) {
  return node == kBusLane ? "" : nodeWord(node) + ": ";
}

}  // namespace

void CallDoctor::call(const TraceLine& r) {
  const auto failed = open_.find(r.threadId);
  if (failed != open_.end()) {
    const Failure failure = failed->second;
    open_.erase(failed);
    conclude(failure,
             "the command went on: " + r.signature() + " came next (" + lineWord(r.line) + ")",
             {r.line});
  }
  if (r.missing) {
    Missing& missing = missing_[r.name];
    missing.firstLine = missing.calls++ == 0 ? r.line : missing.firstLine;
    return;
  }
  if (r.name == "PCAN_OpenPort") {
    rateKbps_ = can::bitRateForIndex(intArg(r, 0).value_or(-1));
  }
  timed(r);
  if (r.result.value_or(0) != 0) {
    open_[r.threadId] = {r, std::nullopt};
  }
}

// A call to a node is a request and an answer on the bus; one that takes far longer waited on
// something else (the adapter, the library, the node).
void CallDoctor::timed(const TraceLine& r) {
  if (!r.tookUs || controllerExportTakesNode(r.name) != true) {
    return;
  }
  const int rate = rateKbps_.value_or(kSlowestRateKbps);
  const int64_t busUs =
      std::chrono::duration_cast<std::chrono::microseconds>(can::requestAndAnswerTime(rate))
          .count();
  Slow& s = slow_[r.name];
  ++s.calls;
  if (*r.tookUs <= busUs + kAdapterLatencyUs) {
    return;
  }
  ++s.slow;
  if (s.lines.size() < kSameFindingsTold) {
    s.lines.push_back(r.line);
  }
  if (!s.longest || *r.tookUs > *s.longest->tookUs) {
    s.longest = r;
    s.busUs = busUs;
    s.limitUs = busUs + kAdapterLatencyUs;
    s.rateKbps = rate;
  }
}

bool CallDoctor::message(const TraceLine& step) {
  const auto failed = open_.find(step.threadId);
  if (failed == open_.end() || failed->second.message) {
    return false;
  }
  failed->second.message = step;
  return true;
}

void CallDoctor::commandBoundary(const TraceLine& step) {
  for (const auto& [thread, failure] : open_) {
    conclude(failure, "the command ended there, before the operator's next step (" +
                          lineWord(step.line) + ")");
  }
  open_.clear();
}

void CallDoctor::conclude(const Failure& f, const std::string& how, std::vector<size_t> more) {
  const int node = nodeOf(f.call);
  std::string text = nodeLead(node) + f.call.signature() + " failed with " +
                     std::to_string(*f.call.result) + " (" + lineWord(f.call.line) + ")";
  std::vector<size_t> lines = {f.call.line};
  if (f.message) {
    text += "; " + saidWords(*f.message);
    lines.push_back(f.message->line);
  } else {
    text += "; no message followed";
  }
  lines.insert(lines.end(), more.begin(), more.end());
  // A failure the program carried on past, saying nothing, cost the operator nothing the trace
  // shows: the library did not behave as relied on, a warning.
  const bool carriedOn = !f.message && !more.empty();
  findings_.add({carriedOn ? Severity::Warning : Severity::Fault, "failed-call", node,
                 text + "; " + how, lines},
                "failures of " + f.call.name + (node == kBusLane ? "" : " on " + nodeWord(node)));
}

void CallDoctor::inFlight(const TraceLine& r) {
  const std::string* since = r.field("for");
  findings_.add({Severity::Fault,
                 "call-never-returned",
                 nodeOf(r),
                 nodeLead(nodeOf(r)) + r.signature() + " had not returned where the trace ends" +
                     (since != nullptr ? ": in flight for " + *since + " ms" : "") + " (" +
                     lineWord(r.line) + ")",
                 {r.line}},
                "calls in flight");
}

void CallDoctor::crash(const TraceLine& r) {
  const std::string fields = trace::formatFields(r.fields);  // " key=value ...", as written
  findings_.add({Severity::Fault,
                 "crash",
                 kBusLane,
                 "the program crashed (" + (fields.empty() ? "" : fields.substr(1) + ", ") +
                     lineWord(r.line) + ")",
                 {r.line}},
                "crashes");
}

void CallDoctor::finish(bool whole, bool throughTracer) {
  for (const auto& [thread, failure] : open_) {
    conclude(failure, whole ? "the command ended there"
                            : "the trace ends before it shows whether the command went on");
  }
  open_.clear();
  for (const auto& [name, s] : slow_) {
    if (s.slow == 0) {
      continue;
    }
    std::vector<size_t> lines = s.lines;
    if (lines.back() != s.longest->line) {
      lines.push_back(s.longest->line);
    }
    findings_.add(
        {Severity::Warning, "slow-calls", kBusLane,
         name + ": " + std::to_string(s.slow) + " of " + std::to_string(s.calls) +
             " calls took longer than " + durationWord(s.limitUs) +
             " (a request and its answer take " + durationWord(s.busUs) + " on the bus at " +
             std::to_string(s.rateKbps) + " kbit/s" +
             (rateKbps_ ? "" : ", the slowest speed, as the trace holds no PCAN_OpenPort") +
             ", and an adapter may add 20 ms); the longest took " +
             durationWord(*s.longest->tookUs) + " (" + lineWord(s.longest->line) + ")",
         lines},
        "slow " + name);
  }
  for (const auto& [name, m] : missing_) {
    const std::string lead =
        name + " is missing from the " + (throughTracer ? "vendor's library" : "library") + " (" +
        std::to_string(m.calls) + (m.calls == 1 ? " call" : " calls, the first") + " at " +
        lineWord(m.firstLine) + "): ";
    if (throughTracer && name == "PCAN_StartRelStep") {
      findings_.add({Severity::Warning,
                     "export-missing",
                     kBusLane,
                     lead + "through the tracer the move reads as started and a homing waits for "
                            "rest, where without the tracer Halvane ends the command",
                     {m.firstLine}},
                    "missing " + name);
    } else if (throughTracer && name == "PCAN_GetMotorPos") {
      findings_.add({Severity::Warning,
                     "export-missing",
                     kBusLane,
                     lead + "through the tracer every read succeeds with the position unchanged, "
                            "which a homing's wait takes as the motor standing still, where "
                            "without the tracer Halvane skips the read",
                     {m.firstLine}},
                    "missing " + name);
    } else {
      findings_.add({Severity::Note,
                     "export-missing",
                     kBusLane,
                     lead + "Halvane skips the call and goes on as after a success",
                     {m.firstLine}},
                    "missing " + name);
    }
  }
}

}  // namespace halvane::tools
