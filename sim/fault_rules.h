// The faults in force, from the settings and from the hands on the running rig, and the counts
// they select by: which calls of an export fail, which rest reports are lost, which move starts
// come with a stale rest report, which nodes' position reads stand still while they move or waver,
// and which nodes are held off the bus.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "sim/sim_config.h"

namespace halvane::sim {

class FaultRules {
 public:
  explicit FaultRules(const SimConfig& config);

  // Counts one call of `id` to `node` (0 for the bus-level exports) against each failure rule for
  // it; the counts of the rules that fail this call, one per rule.
  std::vector<int64_t> countFailures(ExportId id, int node);
  bool losesRest(int node, int64_t restCount) const;
  bool bringsStaleRest(int node, int64_t moveCount) const;
  bool readsPositionAtRestOnly(int node) const;
  bool positionWavers(int node) const;
  bool heldOffBus(int node) const;

  // A rule of its own, counted from now: the next call of the export fails, on any node.
  void failNextCall(ExportId id);
  void loseRest(int node, int64_t restCount);
  void holdOffBus(int node, bool held);

 private:
  std::vector<FailureRule> failures_;
  std::vector<int64_t> failureCalls_;
  std::vector<LostRestRule> lostRests_;
  std::vector<StaleRestRule> staleRests_;
  std::array<bool, kNodeCount> heldOffBus_{};
  std::array<bool, kNodeCount> positionAtRestOnly_{};
  std::array<bool, kNodeCount> positionWavers_{};
};

}  // namespace halvane::sim
