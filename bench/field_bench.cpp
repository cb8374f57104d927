// The field kit on the traces a lab sends, measured natively:
//   halvane_field_bench make-trace SESSION OUT [MIB]   a trace of MIB MiB (64 by default, the
//       tracer's bound): SESSION's lines again and again, each time later
//   halvane_field_bench replay [CALLS]                 the replay's own time to answer a call, on a
//       recording of CALLS calls (100000 by default) with their callbacks
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/replay_script.h"
#include "trace/line_sink.h"
#include "trace/trace_reader.h"
#include "trace/trace_writer.h"

namespace {

using namespace halvane;
using Clock = std::chrono::steady_clock;

int makeTrace(const std::string& sessionPath, const std::string& outPath, double mib) {
  std::ifstream in(sessionPath, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  const trace::ReadResult session = trace::readTrace(text.str());
  if (session.records.empty()) {
    std::fprintf(stderr, "make-trace: %s holds no trace\n", sessionPath.c_str());
    return 2;
  }
  int64_t first = session.records.front().timeUs;
  int64_t last = first;
  for (const trace::Record& r : session.records) {
    first = std::min(first, r.timeUs);
    last = std::max(last, r.timeUs);
  }
  const int64_t period = last - first + 1'000'000;
  std::ofstream out(outPath, std::ios::binary);
  const auto limit = static_cast<uint64_t>(mib * 1024 * 1024);
  uint64_t written = 0;
  for (int64_t round = 0; written < limit; ++round) {
    for (trace::Record r : session.records) {
      if (r.kind == trace::Kind::Header && round > 0) {
        continue;
      }
      r.timeUs += round * period;
      const std::string line = trace::formatRecord(r) + std::string(trace::kLineEnd);
      if (written + line.size() > limit) {
        written = limit;
        break;
      }
      out << line;
      written += line.size();
    }
  }
  std::printf("%s: %.1f MiB\n", outPath.c_str(), static_cast<double>(written) / (1024 * 1024));
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
  if (!args.empty() && args[0] == "replay") {
    return replay(args.size() > 1 ? std::stoul(args[1]) : 100'000);
  }
  std::fprintf(stderr,
               "usage: halvane_field_bench make-trace SESSION OUT [MIB]\n"
               "       halvane_field_bench replay [CALLS]\n");
  return 2;
}
