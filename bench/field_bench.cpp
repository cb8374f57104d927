// The field kit on the traces a lab sends, measured natively:
//   halvane_field_bench make-trace SESSION OUT [MIB]   a trace of MIB MiB (64 by default, the
//       tracer's bound): SESSION's lines again and again, each time later
//   halvane_field_bench make-ring-trace SESSION OUT [MIB]   the same as the field tracer writes
//       it: its ring file of MIB MiB, filled until the ring has gone round several times
//   halvane_field_bench replay [CALLS]                 the replay's own time to answer a call, on a
//       recording of CALLS calls (100000 by default) with their callbacks
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/export_names.h"
#include "sim/replay_script.h"
#include "trace/line_sink.h"
#include "trace/ring_writer.h"
#include "trace/trace_reader.h"
#include "trace/trace_writer.h"

namespace {

using namespace halvane;
using Clock = std::chrono::steady_clock;

// A recorded session, and how much later each repetition of it starts than the one before.
struct Session {
  std::vector<trace::Record> records;
  int64_t periodUs = 0;
};

std::optional<Session> loadSession(const std::string& path, const char* command) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  Session session{trace::readTrace(text.str()).records};
  if (session.records.empty()) {
    std::fprintf(stderr, "%s: %s holds no trace\n", command, path.c_str());
    return std::nullopt;
  }
  const auto [first, last] = std::minmax_element(
      session.records.begin(), session.records.end(),
      [](const trace::Record& a, const trace::Record& b) { return a.timeUs < b.timeUs; });
  session.periodUs = last->timeUs - first->timeUs + 1'000'000;
  return session;
}

// The session's records again and again, each round later, its header only once, until `take`
// says enough.
template <class Take>
void repeat(const Session& session, Take take) {
  for (int64_t round = 0;; ++round) {
    for (trace::Record r : session.records) {
      if (r.kind == trace::Kind::Header && round > 0) {
        continue;
      }
      r.timeUs += round * session.periodUs;
      if (!take(r)) {
        return;
      }
    }
  }
}

int makeTrace(const std::string& sessionPath, const std::string& outPath, double mib) {
  const std::optional<Session> session = loadSession(sessionPath, "make-trace");
  if (!session) {
    return 2;
  }
  std::ofstream out(outPath, std::ios::binary);
  const auto limit = static_cast<uint64_t>(mib * 1024 * 1024);
  uint64_t written = 0;
  repeat(*session, [&](const trace::Record& r) {
    const std::string line = trace::formatRecord(r) + std::string(trace::kLineEnd);
    if (written + line.size() > limit) {
      return false;
    }
    out << line;
    written += line.size();
    return true;
  });
  std::printf("%s: %.1f MiB\n", outPath.c_str(), static_cast<double>(written) / (1024 * 1024));
  return out ? 0 : 1;
}

// Ticks of a 10 MHz counter, as Windows' performance counter runs on most machines.
constexpr int64_t kTicksPerUs = 10;

// A call's arguments as the tracer takes them before the call: numbers as they are, pointers as
// null or not, an out-value by the value it pointed to (the one after where the call left it so,
// another where it did not).
trace::CallBody callBegun(const trace::Record& r, int exportIndex) {
  trace::CallBody call{};
  call.exportIndex = static_cast<uint8_t>(exportIndex);
  for (size_t i = 0; i < std::min<size_t>(r.args.size(), std::size(call.args)); ++i) {
    if (r.args[i] == "&" || r.args[i] == "null") {
      call.flags |= static_cast<uint8_t>(trace::kArgIsPointer << i);
      if (r.args[i] == "null") {
        call.flags |= static_cast<uint8_t>(trace::kArgIsNull << i);
      } else if (r.out) {
        call.args[i] = r.field("out_same") != nullptr ? *r.out : ~*r.out;
      }
    } else {
      call.args[i] = trace::intArg(r, i).value_or(0);
    }
  }
  return call;
}

// After it returned: its result and out-value.
void callEnded(trace::CallBody& call, const trace::Record& r) {
  call.result = r.result.value_or(0);
  if (r.field("vendor") != nullptr) {
    call.flags |= trace::kCallVendorUnloaded;
  } else if (r.out) {
    call.flags |= trace::kCallHasOut;
    call.out = *r.out;
    if (r.field("out_same") != nullptr) {
      call.flags |= trace::kCallOutSame;
    }
  }
}

std::optional<trace::CallbackBody> callbackBody(const trace::Record& r) {
  trace::CallbackBody callback{};
  const auto arg = [&](size_t i) { return trace::intArg(r, i).value_or(0); };
  if (r.name == "OnlineCallback") {
    callback = {trace::CallbackId::Online, {}, 0, {arg(0), arg(1), 0}};
  } else if (r.name == "SpareCallback") {
    callback = {trace::CallbackId::Spare, {}, 0, {arg(0), 0, 0}};
  } else if (r.name == "StatusCallback" && r.args.size() == 4) {
    callback = {trace::CallbackId::Status, {}, 0, {arg(0), arg(1), arg(3)}};
    if (const auto bytes = trace::statusBytesOf(r.args[2])) {
      std::copy(bytes->begin(), bytes->end(), callback.statusBytes);
    } else {
      callback.statusNull = 1;
    }
  } else {
    return std::nullopt;
  }
  return callback;
}

// A record as the tracer writes it: a call as its begin and its end (one in flight as its begin
// alone), a callback by its arguments, anything else as its line.
void writeAsTracer(trace::RingWriter& ring, const trace::Record& r) {
  const auto thread = static_cast<uint32_t>(r.threadId);
  const int64_t ticks = r.timeUs * kTicksPerUs;
  const std::optional<int> index = controllerExportIndex(r.name);
  if ((r.kind == trace::Kind::Call || r.kind == trace::Kind::InFlight) && index) {
    trace::CallBody call = callBegun(r, *index);
    if (r.missing) {
      ring.missing(thread, ticks, call);
      return;
    }
    call.startTicks = ticks;
    call.beginClaim = static_cast<uint32_t>(ring.callBegin(thread, ticks, call));
    if (r.kind == trace::Kind::Call) {
      callEnded(call, r);
      ring.callEnd(thread, ticks + r.tookUs.value_or(0) * kTicksPerUs, call);
    }
    return;
  }
  const std::optional<trace::CallbackBody> callback =
      r.kind == trace::Kind::Callback ? callbackBody(r) : std::nullopt;
  if (callback) {
    ring.callback(thread, ticks, *callback);
  } else {
    ring.text(thread, ticks, trace::formatBody(r));
  }
}

int makeRingTrace(const std::string& sessionPath, const std::string& outPath, double mib) {
  // Enough for the file to hold its kept start, a count of records dropped and a full ring.
  constexpr uint64_t kLaps = 4;
  const std::optional<Session> session = loadSession(sessionPath, "make-ring-trace");
  if (!session) {
    return 2;
  }
  const uint64_t bytes = static_cast<uint64_t>(mib * 1024 * 1024) / 8 * 8;
  std::vector<uint64_t> memory(bytes / 8);
  trace::RingWriter ring;
  if (!ring.start(memory.data(), bytes, kTicksPerUs * 1'000'000, 0)) {
    std::fprintf(stderr, "make-ring-trace: %.3f MiB holds no ring\n", mib);
    return 2;
  }
  const trace::RingShape shape = trace::ringShapeFor(bytes);
  const uint64_t enough = shape.startSlots + kLaps * shape.ringSlots;
  uint64_t records = 0;
  repeat(*session, [&](const trace::Record& r) {
    writeAsTracer(ring, r);
    ++records;
    return ring.claimed() < enough;
  });
  std::ofstream out(outPath, std::ios::binary);
  out.write(reinterpret_cast<const char*>(memory.data()), static_cast<std::streamsize>(bytes));
  std::printf("%s: %.1f MiB, %llu records written, the ring filled %.1f times over\n",
              outPath.c_str(), static_cast<double>(bytes) / (1024 * 1024),
              static_cast<unsigned long long>(records),
              static_cast<double>(ring.claimed() - shape.startSlots) /
                  static_cast<double>(shape.ringSlots));
  return out ? 0 : 1;
}

// A recording of slot moves on two nodes: each a position read, a direction, a start and its two
// reports, the bus time of each call 1.8 ms.
std::vector<trace::Record> recording(size_t calls) {
  std::vector<trace::Record> records;
  int64_t now = 0;
  const auto call = [&](std::string name, std::vector<std::string> args, std::optional<int> out) {
    trace::Record r;
    r.kind = trace::Kind::Call;
    r.timeUs = now;
    r.name = std::move(name);
    r.args = std::move(args);
    r.result = 0;
    r.out = out;
    r.busUs = 1800;
    records.push_back(std::move(r));
    now += 2000;
  };
  const auto report = [&](std::string node, const char* bytes) {
    trace::Record r;
    r.kind = trace::Kind::Callback;
    r.timeUs = now;
    r.name = "StatusCallback";
    r.args = {std::move(node), "0", bytes, "0"};
    records.push_back(std::move(r));
  };
  for (size_t i = 0; records.size() < calls * 5 / 3; ++i) {
    const std::string node = i % 2 == 0 ? "1" : "2";
    call("PCAN_GetMotorPos", {node, "&"}, static_cast<int>(i * 100));
    call("PCAN_SetDir", {node, "1"}, std::nullopt);
    call("PCAN_StartRelStep", {node, std::to_string(100 + i % 3000)}, std::nullopt);
    report(node, "[00 08]");
    now += 100'000;
    report(node, "[00 00]");
  }
  return records;
}

int replay(size_t calls) {
  const std::vector<trace::Record> records = recording(calls);
  const Clock::time_point loadStart = Clock::now();
  sim::ReplayScript script(records);
  const double loadMs = std::chrono::duration<double, std::milli>(Clock::now() - loadStart).count();
  std::vector<double> answerUs;
  sim::Divergence divergence;
  for (const trace::Record& r : records) {
    if (r.kind != trace::Kind::Call) {
      continue;
    }
    const Clock::time_point start = Clock::now();
    script.answer(r.name, r.args, r.timeUs, divergence);
    script.takeDue(r.timeUs);
    answerUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  std::sort(answerUs.begin(), answerUs.end());
  const auto at = [&](double q) {
    return answerUs[std::min(answerUs.size() - 1,
                             static_cast<size_t>(q * static_cast<double>(answerUs.size())))];
  };
  std::printf("| replay of %zu calls: loading the recording, ms | %.1f |\n", answerUs.size(),
              loadMs);
  std::printf(
      "| replay of %zu calls: the replay's own time a call (answer and due callbacks), us: median "
      "/ 99th / max | %.2f / %.2f / %.2f |\n",
      answerUs.size(), at(0.5), at(0.99), answerUs.back());
  std::printf("| replay of %zu calls: divergences | %zu |\n", answerUs.size(),
              script.divergences());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() >= 3 && args[0] == "make-trace") {
    return makeTrace(args[1], args[2], args.size() > 3 ? std::stod(args[3]) : 64);
  }
  if (args.size() >= 3 && args[0] == "make-ring-trace") {
    return makeRingTrace(args[1], args[2], args.size() > 3 ? std::stod(args[3]) : 64);
  }
  if (!args.empty() && args[0] == "replay") {
    return replay(args.size() > 1 ? std::stoul(args[1]) : 100'000);
  }
  std::fprintf(stderr,
               "usage: halvane_field_bench make-trace SESSION OUT [MIB]\n"
               "       halvane_field_bench make-ring-trace SESSION OUT [MIB]\n"
               "       halvane_field_bench replay [CALLS]\n");
  return 2;
}
