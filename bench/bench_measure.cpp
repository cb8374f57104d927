#include "bench/bench_measure.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace halvane::bench {

BenchOptions startBench(int argc, char** argv) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  BenchOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--homing") {
      options.homingOnly = true;
    } else if (i + 1 == argc) {
      break;
    } else if (arg == "--runs") {
      options.runs = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--out") {
      options.out = argv[++i];
    }
  }
  return options;
}

double driverMs(Clock::time_point time) {
  return std::chrono::duration<double, std::milli>(time.time_since_epoch()).count();
}

std::optional<TraceClock> TraceClock::of(const e2e::ProgramSession& session) {
  const auto lines = session.trace();
  if (lines.empty()) {
    return std::nullopt;
  }
  const std::string key = "clock_origin_us=";
  const size_t at = lines.front().find(key);
  if (at == std::string::npos) {
    return std::nullopt;
  }
  TraceClock clock;
  clock.originMs_ = std::strtod(lines.front().c_str() + at + key.size(), nullptr) / 1000.0;
  return clock;
}

double TraceClock::fromDriver(Clock::time_point time) const {
  return driverMs(time) - originMs_;
}

namespace {

constexpr double kHostTicksPerSecond = 100;  // USER_HZ on x86 Linux

std::string readHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::optional<double> hostCpuSeconds(const std::string& marker) {
  WIN32_FIND_DATAA entry;
  const HANDLE find = FindFirstFileA("Z:\\proc\\*", &entry);
  if (find == INVALID_HANDLE_VALUE) {
    return std::nullopt;
  }
  std::optional<double> seconds;
  do {
    const std::string pid = entry.cFileName;
    if (pid.find_first_not_of("0123456789") != std::string::npos) {
      continue;
    }
    const std::string commandLine = readHostFile("Z:\\proc\\" + pid + "\\cmdline");
    if (commandLine.find(marker) == std::string::npos ||
        commandLine.find("Halvane.exe") == std::string::npos) {
      continue;
    }
    const std::string stat = readHostFile("Z:\\proc\\" + pid + "\\stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    double user = 0, system = 0;
    for (int index = 3; fields >> field; ++index) {  // the first field after ')' is the third
      if (index == 14) {
        user = std::atof(field.c_str());
      } else if (index == 15) {
        system = std::atof(field.c_str());
        break;
      }
    }
    seconds = (user + system) / kHostTicksPerSecond;
  } while (!seconds && FindNextFileA(find, &entry));
  FindClose(find);
  return seconds;
}

Summary summarise(std::vector<double> values) {
  Summary summary;
  summary.count = values.size();
  if (values.empty()) {
    return summary;
  }
  std::sort(values.begin(), values.end());
  const auto at = [&](double quantile) {
    return values[static_cast<size_t>(quantile * static_cast<double>(values.size() - 1) + 0.5)];
  };
  summary.median = at(0.5);
  summary.p99 = at(0.99);
  summary.max = values.back();
  return summary;
}

namespace {

std::vector<std::string> table;

}  // namespace

void row(const std::string& figure, const std::string& median, const std::string& max,
         const std::string& goal, const std::string& verdict) {
  table.push_back("| " + figure + " | " + median + " | " + max + " | " + goal + " | " + verdict +
                  " |");
  std::printf("%s\n", table.back().c_str());
  std::fflush(stdout);
}

const std::vector<std::string>& tableRows() {
  return table;
}

std::string fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

}  // namespace halvane::bench
