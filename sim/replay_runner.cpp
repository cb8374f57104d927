#include "sim/replay_runner.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "trace/trace_writer.h"

namespace halvane::sim {
namespace {

std::vector<std::string> argsOf(const Request& request) {
  std::vector<std::string> args;
  for (int i = 0; i < request.argCount; ++i) {
    const Arg& arg = request.args[static_cast<size_t>(i)];
    args.push_back(arg.pointer ? (arg.null ? "null" : "&") : std::to_string(arg.value));
  }
  return args;
}

int intArg(const std::vector<std::string>& args, size_t index) {
  return index < args.size() ? std::atoi(args[index].c_str()) : 0;
}

// The two status bytes the recording holds; the rest stay 0.
std::array<unsigned char, 8> statusBytes(const std::string& shown) {
  std::array<unsigned char, 8> bytes{};
  if (const auto shownBytes = trace::statusBytesOf(shown)) {
    std::copy(shownBytes->begin(), shownBytes->end(), bytes.begin());
  }
  return bytes;
}

}  // namespace

ReplayRunner::ReplayRunner(ReplayScript script, SimPlatform& platform, TraceSink* trace)
    : script_(std::move(script)), platform_(platform), trace_(trace) {}

int ReplayRunner::call(Request request) {
  const std::vector<std::string> args = argsOf(request);
  const std::string name = exportName(request.id);
  std::unique_lock lock(mutex_);
  if (!thread_.started()) {
    thread_.start([this] { threadMain(); });
  }
  if (request.id == ExportId::PCAN_SetEventCallback) {
    callbacks_ = request.callbacks;
  }
  Divergence divergence;
  const std::optional<ReplayAnswer> answer =
      script_.answer(name, args, wholeMicroseconds(platform_.now()), divergence);
  trace::Record line;
  line.kind = trace::Kind::Call;
  line.name = name;
  line.args = args;
  if (!answer) {
    line.result = kErrDiverged;
    line.busUs = 0;
    write(trace::formatBody(line));
    const std::string node = args.empty() || !takesNode(request.id) ? "-" : args[0];
    if (divergence.pastRecordingEnd) {
      write("event past-recording-end node=" + node +
            " call=" + trace::quoteValue(divergence.call));
    } else {
      write("event divergence node=" + node + " call=" + trace::quoteValue(divergence.call) +
            " nearest=" + trace::quoteValue(divergence.nearest));
    }
    return kErrDiverged;
  }
  line.missing = answer->missing;
  if (!answer->missing) {
    line.result = answer->result;
    if (answer->out && request.out != nullptr) {
      line.out = answer->out;
    }
    line.busUs = answer->tookUs;
  }
  write(trace::formatBody(line));
  wake_.notify_one();
  lock.unlock();
  platform_.sleepFor(std::chrono::microseconds(answer->tookUs));
  if (line.out) {
    *request.out = *line.out;
  }
  return answer->result;
}

void ReplayRunner::threadMain() {
  std::unique_lock lock(mutex_);
  while (!thread_.stopping()) {
    const std::optional<int64_t> due = script_.nextDueUs();
    const int64_t now = wholeMicroseconds(platform_.now());
    if (!due || *due > now) {
      platform_.waitUntil(
          wake_, lock,
          due ? std::optional<Duration>(std::chrono::microseconds(*due)) : std::nullopt);
      continue;
    }
    const std::vector<DueCallback> callbacks = script_.takeDue(now);
    const EventCallbacks registered = callbacks_;
    lock.unlock();
    for (const DueCallback& callback : callbacks) {
      deliver(callback, registered);
    }
    lock.lock();
  }
}

void ReplayRunner::deliver(const DueCallback& callback, const EventCallbacks& callbacks) {
  const std::vector<std::string>& a = callback.args;
  if (callback.name == "OnlineCallback" && callbacks.online != nullptr) {
    write(trace::formatBody(trace::onlineCallbackRecord(intArg(a, 0), intArg(a, 1))));
    callbacks.online(intArg(a, 0), intArg(a, 1));
  } else if (callback.name == "StatusCallback" && callbacks.status != nullptr) {
    std::array<unsigned char, 8> bytes = statusBytes(a.size() > 2 ? a[2] : std::string());
    write(trace::formatBody(
        trace::statusCallbackRecord(intArg(a, 0), intArg(a, 1), bytes.data(), intArg(a, 3))));
    callbacks.status(intArg(a, 0), intArg(a, 1), bytes.data(), intArg(a, 3));
  } else if (callback.name == "SpareCallback" && callbacks.spare != nullptr) {
    write(trace::formatBody(trace::spareCallbackRecord(intArg(a, 0))));
    callbacks.spare(intArg(a, 0));
  } else {
    write("event undelivered node=" + (a.empty() ? std::string("-") : a[0]) +
          " callback=" + callback.name + " reason=none-registered");
  }
}

std::string ReplayRunner::endLine() const {
  return "event replay-end node=- diverged=" + std::to_string(script_.divergences()) +
         " unplayed_calls=" + std::to_string(script_.unplayedCalls()) +
         " unplayed_callbacks=" + std::to_string(script_.unplayedCallbacks()) +
         " calls_past_end=" + std::to_string(script_.callsPastEnd());
}

void ReplayRunner::finish() {
  // While the process ends the library's thread is gone, perhaps with the lock held.
  std::unique_lock lock(mutex_, std::try_to_lock);
  if (finished_) {
    return;
  }
  finished_ = true;
  write(endLine(), true);
  if (script_.divergences() > 0) {
    std::fprintf(stderr,
                 "PUSICANControl.dll (replay): the run diverged from the recording %zu times\n",
                 script_.divergences());
  }
}

void ReplayRunner::traceEvent(const std::string& text) {
  write("event " + text);
}

void ReplayRunner::write(const std::string& body, bool ending) {
  if (trace_ != nullptr) {
    const std::string line =
        trace::formatLine(wholeMicroseconds(platform_.now()), platform_.threadId(), body);
    if (ending) {
      trace_->writeLineAtExit(line);
      return;
    }
    std::lock_guard lock(traceMutex_);
    trace_->writeLine(line);
  }
}

}  // namespace halvane::sim
