// Whatever the environment holds, the simulated rig's settings parse without a crash and end up
// inside their documented ranges; every value is either in force or reported, never dropped
// silently, and a reported value leaves nothing in force.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <tuple>

#include "sim/sim_config.h"
#include "tests/sim/sim_test_support.h"

namespace {

using halvane::sim::ParsedConfig;
using halvane::sim::SimConfig;
using halvane::sim::testing::MapEnvironment;

// Lines of NAME=VALUE; a name without the prefix gets it, so most inputs reach the parser. A line
// holding a NUL is left out: no environment can hold one.
MapEnvironment environmentFrom(const std::string& text) {
  std::map<std::string, std::string> variables;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end;
    const std::string line = text.substr(start, end - start);
    if (const size_t equals = line.find('=');
        equals != std::string::npos && line.find('\0') == std::string::npos) {
      std::string name = line.substr(0, equals);
      if (name.rfind("HALVANE_SIM_", 0) != 0) {
        name = "HALVANE_SIM_" + name;
      }
      variables[name] = line.substr(equals + 1);
    }
    start = end + 1;
  }
  return MapEnvironment(std::move(variables));
}

void require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

bool sameConfig(const SimConfig& a, const SimConfig& b) {
  const auto rules = [](const SimConfig& c) {
    std::vector<std::tuple<int, int, int64_t, bool>> all;
    for (const auto& rule : c.failures) {
      all.emplace_back(static_cast<int>(rule.exportId), rule.node, rule.calls.first,
                       rule.calls.onlyFirst);
    }
    for (const auto& rule : c.lostRests) {
      all.emplace_back(-1, rule.node, rule.reports.first, rule.reports.onlyFirst);
    }
    return all;
  };
  return a.timeScale == b.timeScale && a.onlineDelay == b.onlineDelay &&
         a.neverOnline == b.neverOnline && a.switchMissing == b.switchMissing &&
         a.startAngleDegrees == b.startAngleDegrees && a.tracePath == b.tracePath &&
         rules(a) == rules(b);
}

ParsedConfig parseAlone(const std::string& name, const std::string& value) {
  return halvane::sim::parseConfig(MapEnvironment({{name, value}}));
}

std::string trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  return first == std::string::npos ? std::string()
                                    : text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// One value of one variable, on its own: exactly one of "in force" and "reported".
void requireInForceOrReported(const std::string& name, const std::string& value) {
  const SimConfig defaults;
  const ParsedConfig alone = parseAlone(name, value);
  require(alone.problems.size() <= 1);
  const bool reported = alone.problems.size() == 1;
  bool inForce = !sameConfig(alone.config, defaults);
  if (!reported && !inForce) {
    // Taken, but equal to the default: an angle shows only against other ones, a number must
    // read as the default in full.
    char* end = nullptr;
    if (name == halvane::sim::kVarStartAngle) {
      const std::string others = "1:0.5,2:0.5";
      inForce = !sameConfig(parseAlone(name, others + "," + value).config,
                            parseAlone(name, others).config);
    } else if (name == halvane::sim::kVarTimeScale) {
      inForce = std::strtod(value.c_str(), &end) == defaults.timeScale && *end == '\0';
    } else if (name == halvane::sim::kVarOnlineDelay) {
      inForce = std::strtoll(value.c_str(), &end, 10) == 300 && *end == '\0';
    }
  }
  require(inForce != reported);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto environment = environmentFrom(std::string(reinterpret_cast<const char*>(data), size));
  const ParsedConfig parsed = halvane::sim::parseConfig(environment);
  const SimConfig& config = parsed.config;
  require(config.timeScale > 0 && config.timeScale <= 1000);
  require(config.onlineDelay >= halvane::sim::Duration::zero() &&
          config.onlineDelay <= std::chrono::minutes(10));
  for (double angle : config.startAngleDegrees) {
    require(std::isfinite(angle));
  }
  for (const auto& rule : config.failures) {
    require(rule.node >= 0 && rule.node <= halvane::sim::kNodeCount && rule.calls.first >= 1);
  }
  for (const auto& rule : config.lostRests) {
    require(rule.node >= 0 && rule.node <= halvane::sim::kNodeCount && rule.reports.first >= 1);
  }
  (void)halvane::sim::describeConfig(config);

  // What is reported was set: the variable, with its value or a part of it.
  for (const auto& problem : parsed.problems) {
    const auto value = environment.get(problem.variable.c_str());
    require(value.has_value() && value->find(problem.value) != std::string::npos);
  }
  // What was set is in force or reported: each value, and each item of a list, on its own.
  const std::string lists[] = {halvane::sim::kVarOffline, halvane::sim::kVarNoSwitch,
                               halvane::sim::kVarStartAngle, halvane::sim::kVarFail,
                               halvane::sim::kVarLoseRest};
  for (const std::string& name : environment.names()) {
    const std::string value = trimmed(*environment.get(name.c_str()));
    if (name == halvane::sim::kVarTrace || value.empty()) {
      continue;  // any path is taken; empty counts as unset
    }
    if (std::find(std::begin(lists), std::end(lists), name) == std::end(lists)) {
      requireInForceOrReported(name, value);
      continue;
    }
    for (size_t start = 0; start <= value.size();) {
      const size_t comma = std::min(value.find(',', start), value.size());
      if (const std::string item = trimmed(value.substr(start, comma - start)); !item.empty()) {
        requireInForceOrReported(name, item);
      }
      start = comma + 1;
    }
  }
  return 0;
}
