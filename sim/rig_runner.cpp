#include "sim/rig_runner.h"

#include <vector>

#include "trace/trace_writer.h"

namespace halvane::sim {
namespace {

std::string callText(const Request& request, const Answer& answer) {
  trace::Record record;
  record.kind = trace::Kind::Call;
  record.name = exportName(request.id);
  for (int i = 0; i < request.argCount; ++i) {
    const Arg& arg = request.args[static_cast<size_t>(i)];
    record.args.push_back(arg.pointer ? (arg.null ? "null" : "&") : std::to_string(arg.value));
  }
  record.result = answer.result;
  if (answer.out && request.out != nullptr) {
    record.out = *answer.out;
  }
  record.busUs = wholeMicroseconds(answer.busTime);
  return trace::formatBody(record);
}

}  // namespace

RigRunner::RigRunner(const SimConfig& config, SimPlatform& platform, TraceSink* trace,
                     Threading threading)
    : platform_(platform),
      trace_(trace),
      threading_(threading),
      core_(config),
      delayed_(config.reportDelay) {
  publish();  // the wheels where they stand, before any call
}

int RigRunner::call(Request request) {
  request.threadId = platform_.threadId();
  Answer answer;
  std::unique_lock lock(mutex_);
  if (threading_ == Threading::Inline || std::this_thread::get_id() == threadId_) {
    const Duration now = platform_.now();
    Outbox out;
    advanceTo(now, out);
    answer = process(request, out);
    publish();
    const EventCallbacks callbacks = core_.callbacks();
    lock.unlock();
    deliver(out, callbacks, now);
  } else {
    ensureThread();
    Pending pending{&request, {}, false};
    queue_.push_back(&pending);
    wake_.notify_one();
    answered_.wait(lock, [&] { return pending.done; });
    answer = pending.answer;
    lock.unlock();
  }
  platform_.sleepFor(answer.busTime);
  if (answer.out && request.out != nullptr) {
    *request.out = *answer.out;
  }
  return answer.result;
}

void RigRunner::pump() {
  std::unique_lock lock(mutex_);
  Outbox out;
  const Duration now = platform_.now();
  advanceTo(now, out);
  publish();
  const EventCallbacks callbacks = core_.callbacks();
  lock.unlock();
  deliver(out, callbacks, now);
}

void RigRunner::inject(const HandFault& fault) {
  {
    std::lock_guard lock(mutex_);
    handFaults_.push_back(fault);
    if (threading_ == Threading::OwnThread) {
      ensureThread();
      wake_.notify_one();
    }
  }
  if (threading_ == Threading::Inline) {
    pump();
  }
}

void RigRunner::advanceTo(Duration now, Outbox& out) {
  delayed_.takeDue(now, out);
  const size_t fresh = out.size();
  core_.advanceTo(now, out);
  applyHandFaults(out);
  delayed_.holdBack(out, fresh, now);
}

void RigRunner::applyHandFaults(Outbox& out) {
  for (const HandFault& fault : handFaults_) {
    core_.applyHandFault(fault, out);
  }
  handFaults_.clear();
}

void RigRunner::publish() {
  board_.publish(snapshotOf(core_, calls_));
}

std::optional<Duration> RigRunner::nextWake() {
  std::lock_guard lock(mutex_);
  return earliest(core_.nextWake(), delayed_.nextDue());
}

void RigRunner::traceEvent(const std::string& text) {
  write(platform_.now(), platform_.threadId(), "event " + text);
}

void RigRunner::ensureThread() {
  if (!thread_.started()) {
    thread_.start([this] { threadMain(); });
    threadId_ = thread_.id();
  }
}

void RigRunner::threadMain() {
  std::unique_lock lock(mutex_);
  while (!thread_.stopping()) {
    if (queue_.empty() && handFaults_.empty()) {
      platform_.waitUntil(wake_, lock, earliest(core_.nextWake(), delayed_.nextDue()));
    }
    if (thread_.stopping()) {
      break;
    }
    const std::vector<Pending*> batch(queue_.begin(), queue_.end());
    queue_.clear();
    Outbox out;
    const Duration now = platform_.now();
    advanceTo(now, out);
    for (Pending* pending : batch) {
      pending->answer = process(*pending->request, out);
    }
    publish();
    const EventCallbacks callbacks = core_.callbacks();
    lock.unlock();
    deliver(out, callbacks, now);
    lock.lock();
    // Answered only now, so a call's trace lines are written before it returns.
    for (Pending* pending : batch) {
      pending->done = true;
    }
    if (!batch.empty()) {
      answered_.notify_all();
    }
  }
}

Answer RigRunner::process(Request& request, Outbox& out) {
  Outbox effects;
  const Answer answer = core_.handle(request, effects);
  delayed_.holdBack(effects, 0, core_.now() + answer.busTime);  // after the call has returned
  calls_.record(request, answer);
  OutItem line;
  line.kind = OutItem::Kind::Call;
  line.text = callText(request, answer);
  line.time = core_.now();
  line.threadId = request.threadId;
  out.push_back(std::move(line));
  out.insert(out.end(), effects.begin(), effects.end());
  return answer;
}

void RigRunner::deliver(const Outbox& out, const EventCallbacks& callbacks, Duration time) {
  const unsigned long self = platform_.threadId();
  for (const OutItem& item : out) {
    switch (item.kind) {
      case OutItem::Kind::Event:
        write(item.time, self, item.text);
        break;
      case OutItem::Kind::Call:
        write(item.time, item.threadId, item.text);
        break;
      case OutItem::Kind::OnlineReport:
        if (callbacks.online == nullptr) {
          write(time, self,
                "event undelivered node=" + std::to_string(item.node) +
                    " callback=OnlineCallback reason=none-registered");
          break;
        }
        write(time, self, trace::formatBody(trace::onlineCallbackRecord(item.node, item.state)));
        callbacks.online(item.node, item.state);
        break;
      case OutItem::Kind::StatusReport: {
        if (callbacks.status == nullptr) {
          write(time, self,
                "event undelivered node=" + std::to_string(item.node) +
                    " callback=StatusCallback reason=none-registered");
          break;
        }
        auto bytes = item.bytes;
        write(time, self,
              trace::formatBody(
                  trace::statusCallbackRecord(item.node, kStatusKindMotion, bytes.data(), 0)));
        callbacks.status(item.node, kStatusKindMotion, bytes.data(), 0);
        break;
      }
    }
  }
}

void RigRunner::write(Duration time, unsigned long threadId, const std::string& text) {
  if (trace_ != nullptr) {
    const std::string line = trace::formatLine(wholeMicroseconds(time), threadId, text);
    std::lock_guard lock(traceMutex_);
    trace_->writeLine(line);
  }
}

}  // namespace halvane::sim
