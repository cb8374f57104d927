// Small measuring tools for the benchmark: a clock shared with the simulated library's trace, and
// the summaries the report prints.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "driver/program_session.h"

namespace halvane::bench {

using Clock = std::chrono::steady_clock;

// What every benchmark's command line may give: --runs N (at least 1) and --out FILE.
struct BenchOptions {
  std::optional<int> runs;
  std::string out;
  bool homingOnly = false;  // --homing: only the homing's figures
};
// Reads the command line; a crash of the benchmark or its programs never waits on an error box.
BenchOptions startBench(int argc, char** argv);

// Milliseconds on the driver's clock for a trace time, from the trace's clock origin (the
// simulated library and the driver read the same monotonic clock).
class TraceClock {
 public:
  // Reads the origin from the trace's first line; nullopt when the trace does not give it.
  static std::optional<TraceClock> of(const e2e::ProgramSession& session);
  double toDriverMs(double traceMs) const { return originMs_ + traceMs; }
  double fromDriver(Clock::time_point time) const;

 private:
  double originMs_ = 0;
};

double driverMs(Clock::time_point time);

// CPU seconds (user and system) the host has given the process whose command line contains
// `marker`, read from the host's /proc through Wine's Z: drive; nullopt off Wine. Wine does not
// answer GetProcessTimes for other processes.
std::optional<double> hostCpuSeconds(const std::string& marker);

struct Summary {
  double median = 0;
  double p99 = 0;
  double max = 0;
  size_t count = 0;
};
Summary summarise(std::vector<double> values);

// The figures table: each row printed as it comes and kept for the report.
void row(const std::string& figure, const std::string& median, const std::string& max,
         const std::string& goal = "-", const std::string& verdict = "-");
const std::vector<std::string>& tableRows();
std::string fixed(double value, int decimals = 2);
inline std::string verdict(bool met) {
  return met ? "met" : "missed";
}

}  // namespace halvane::bench
