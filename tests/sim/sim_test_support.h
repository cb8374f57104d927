// Shared by the simulated rig's tests: a fake clock and platform, an environment from a map, a
// trace that keeps its lines, and helpers to make requests.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "sim/rig_core.h"
#include "sim/sim_config.h"
#include "sim/sim_platform.h"

namespace halvane::sim::testing {

using namespace std::chrono_literals;

class FakePlatform final : public SimPlatform {
 public:
  Duration time{};
  Duration slept{};
  unsigned long thread = 7;

  Duration now() override { return time; }
  void sleepFor(Duration duration) override {
    slept += duration;
    time += duration;
  }
  void waitUntil(std::condition_variable&, std::unique_lock<std::mutex>&,
                 std::optional<Duration>) override {}
  unsigned long threadId() override { return thread; }
};

class MapEnvironment final : public Environment {
 public:
  MapEnvironment() = default;
  explicit MapEnvironment(std::map<std::string, std::string> values) : values_(std::move(values)) {}
  std::optional<std::string> get(const char* name) const override {
    const auto it = values_.find(name);
    return it == values_.end() ? std::nullopt : std::optional<std::string>(it->second);
  }
  std::vector<std::string> names() const override {
    std::vector<std::string> result;
    for (const auto& [name, value] : values_) {
      result.push_back(name);
    }
    return result;
  }

 private:
  std::map<std::string, std::string> values_;
};

class MemoryTrace final : public TraceSink {
 public:
  std::vector<std::string> lines;
  void writeLine(std::string_view line) override { lines.emplace_back(line); }
};

inline SimConfig parsed(std::map<std::string, std::string> values) {
  return parseConfig(MapEnvironment(std::move(values))).config;
}

inline Request nodeRequest(ExportId id, int node, int value) {
  return makeRequest(id, node, value);
}

// A core with the bus open at 125 kbit/s and both nodes online (the online delay is 0).
inline RigCore openRig(SimConfig config) {
  config.onlineDelay = Duration::zero();
  RigCore core(config);
  Outbox out;
  core.advanceTo(Duration::zero(), out);
  core.handle(makeRequest(ExportId::PCAN_Init, 8, 2, 1), out);
  core.handle(makeRequest(ExportId::PCAN_OpenPort, 4), out);
  core.advanceTo(Duration::zero(), out);
  return core;
}

inline int countKind(const Outbox& out, OutItem::Kind kind) {
  int count = 0;
  for (const OutItem& item : out) {
    count += item.kind == kind ? 1 : 0;
  }
  return count;
}

inline bool hasEvent(const Outbox& out, const std::string& start) {
  for (const OutItem& item : out) {
    if (item.kind == OutItem::Kind::Event && item.text.rfind("event " + start, 0) == 0) {
      return true;
    }
  }
  return false;
}

}  // namespace halvane::sim::testing
