#include "tracer/call_log.h"

#include <algorithm>

#include "trace/trace_writer.h"

namespace halvane::tracer {

CallLog::CallId CallLog::begin(std::string name, std::vector<std::string> args) {
  InFlight call{0, clock_.nowUs(), clock_.threadId(), std::move(name), std::move(args), false};
  std::lock_guard lock(mutex_);
  call.id = nextId_++;
  inFlight_.push_back(std::move(call));
  // Only a watch asleep without a deadline needs waking: any other wakes before this call is due.
  if (watchIdle_) {
    changed_.notify_one();
  }
  return inFlight_.back().id;
}

void CallLog::end(CallId id, int result, std::optional<int> out, std::vector<trace::Field> fields) {
  const int64_t endUs = clock_.nowUs();
  trace::Record r;
  {
    std::lock_guard lock(mutex_);
    const auto it = std::find_if(inFlight_.begin(), inFlight_.end(),
                                 [&](const InFlight& c) { return c.id == id; });
    if (it == inFlight_.end()) {
      return;
    }
    r.timeUs = it->startUs;
    r.threadId = it->threadId;
    r.name = std::move(it->name);
    r.args = std::move(it->args);
    inFlight_.erase(it);
  }
  r.kind = trace::Kind::Call;
  r.result = result;
  r.out = out;
  r.tookUs = endUs - r.timeUs;
  r.fields = std::move(fields);
  output_.writeLine(trace::formatRecord(r));
}

void CallLog::missing(std::string name, std::vector<std::string> args) {
  trace::Record r;
  r.kind = trace::Kind::Call;
  r.name = std::move(name);
  r.args = std::move(args);
  r.missing = true;
  write(std::move(r));
}

void CallLog::write(trace::Record record) {
  record.timeUs = clock_.nowUs();
  record.threadId = clock_.threadId();
  output_.writeLine(trace::formatRecord(record));
}

std::optional<int64_t> CallLog::reportOverdue() {
  std::vector<trace::Record> due;
  std::optional<int64_t> next;
  const int64_t now = clock_.nowUs();
  {
    std::lock_guard lock(mutex_);
    for (InFlight& call : inFlight_) {
      const int64_t dueAt = call.startUs + kInFlightReportUs;
      if (call.reported) {
        continue;
      }
      if (dueAt > now) {
        next = std::min(next.value_or(dueAt - now), dueAt - now);
        continue;
      }
      call.reported = true;
      trace::Record r;
      r.kind = trace::Kind::InFlight;
      r.timeUs = now;
      r.threadId = call.threadId;
      r.name = call.name;
      r.args = call.args;
      r.fields = {{"for", trace::formatMs(now - call.startUs)}};
      due.push_back(std::move(r));
    }
  }
  for (const trace::Record& r : due) {
    output_.writeLine(trace::formatRecord(r));
  }
  return next;
}

void CallLog::startWatch() {
  watch_.start([this] { watchMain(); });
}

void CallLog::watchMain() {
  std::optional<int64_t> wait;
  for (;;) {
    const bool wasIdle = !wait;
    {
      std::unique_lock lock(mutex_);
      if (wait) {
        changed_.wait_for(lock, std::chrono::microseconds(*wait),
                          [this] { return watch_.stopping(); });
      } else {
        // Nothing due: sleep until a call starts.
        watchIdle_ = true;
        changed_.wait(lock, [&] {
          return watch_.stopping() || std::any_of(inFlight_.begin(), inFlight_.end(),
                                                  [](const InFlight& c) { return !c.reported; });
        });
        watchIdle_ = false;
      }
      if (watch_.stopping()) {
        return;
      }
    }
    wait = reportOverdue();
    if (!wait && wasIdle) {
      // Calls come in bursts of quick ones: stay awake a while rather than be woken by each.
      wait = kInFlightReportUs;
    }
  }
}

}  // namespace halvane::tracer
