// Whatever the environment holds, the simulated rig's settings parse without a crash and end up
// inside their documented ranges; every rejected value is reported.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "sim/sim_config.h"
#include "tests/sim/sim_test_support.h"

namespace {

// Lines of NAME=VALUE; a name without the prefix gets it, so most inputs reach the parser.
halvane::sim::testing::MapEnvironment environmentFrom(const std::string& text) {
  std::map<std::string, std::string> variables;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end;
    const std::string line = text.substr(start, end - start);
    if (const size_t equals = line.find('='); equals != std::string::npos) {
      std::string name = line.substr(0, equals);
      if (name.rfind("HALVANE_SIM_", 0) != 0) {
        name = "HALVANE_SIM_" + name;
      }
      variables[name] = line.substr(equals + 1);
    }
    start = end + 1;
  }
  return halvane::sim::testing::MapEnvironment(std::move(variables));
}

void require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto environment = environmentFrom(std::string(reinterpret_cast<const char*>(data), size));
  const halvane::sim::ParsedConfig parsed = halvane::sim::parseConfig(environment);
  const halvane::sim::SimConfig& config = parsed.config;
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
  return 0;
}
