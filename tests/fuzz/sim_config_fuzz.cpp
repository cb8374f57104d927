// Whatever the environment holds, the simulated rig's settings parse without a crash and end up
// inside their documented ranges; every rejected value is reported.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "sim/sim_config.h"

namespace {

// Lines of NAME=VALUE; a name without the prefix gets it, so most inputs reach the parser.
class FuzzedEnvironment final : public halvane::sim::Environment {
 public:
  explicit FuzzedEnvironment(const std::string& text) {
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find('\n', start);
      end = end == std::string::npos ? text.size() : end;
      const std::string line = text.substr(start, end - start);
      const size_t equals = line.find('=');
      if (equals != std::string::npos) {
        std::string name = line.substr(0, equals);
        if (name.rfind("HALVANE_SIM_", 0) != 0) {
          name = "HALVANE_SIM_" + name;
        }
        variables_[name] = line.substr(equals + 1);
      }
      start = end + 1;
    }
  }
  std::optional<std::string> get(const char* name) const override {
    const auto it = variables_.find(name);
    return it == variables_.end() ? std::nullopt : std::optional<std::string>(it->second);
  }
  std::vector<std::string> names() const override {
    std::vector<std::string> names;
    for (const auto& [name, value] : variables_) {
      names.push_back(name);
    }
    return names;
  }

 private:
  std::map<std::string, std::string> variables_;
};

void require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const FuzzedEnvironment environment(std::string(reinterpret_cast<const char*>(data), size));
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
