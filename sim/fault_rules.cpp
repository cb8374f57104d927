#include "sim/fault_rules.h"

namespace halvane::sim {
namespace {

bool appliesTo(int ruleNode, int node) {
  return ruleNode == 0 || ruleNode == node;
}

size_t indexOf(int node) {
  return static_cast<size_t>(node - 1);
}

}  // namespace

FaultRules::FaultRules(const SimConfig& config)
    : failures_(config.failures),
      failureCalls_(config.failures.size(), 0),
      lostRests_(config.lostRests),
      staleRests_(config.staleRests),
      heldOffBus_(config.neverOnline),
      positionAtRestOnly_(config.positionAtRestOnly),
      positionWavers_(config.positionWavers) {}

std::vector<int64_t> FaultRules::countFailures(ExportId id, int node) {
  std::vector<int64_t> failing;
  for (size_t i = 0; i < failures_.size(); ++i) {
    const FailureRule& rule = failures_[i];
    if (rule.exportId != id || !appliesTo(rule.node, node)) {
      continue;
    }
    const int64_t count = ++failureCalls_[i];
    if (rule.calls.matches(count)) {
      failing.push_back(count);
    }
  }
  return failing;
}

bool FaultRules::losesRest(int node, int64_t restCount) const {
  for (const LostRestRule& rule : lostRests_) {
    if (appliesTo(rule.node, node) && rule.reports.matches(restCount)) {
      return true;
    }
  }
  return false;
}

bool FaultRules::bringsStaleRest(int node, int64_t moveCount) const {
  for (const StaleRestRule& rule : staleRests_) {
    if (appliesTo(rule.node, node) && rule.moves.matches(moveCount)) {
      return true;
    }
  }
  return false;
}

bool FaultRules::readsPositionAtRestOnly(int node) const {
  return positionAtRestOnly_[indexOf(node)];
}

bool FaultRules::positionWavers(int node) const {
  return positionWavers_[indexOf(node)];
}

bool FaultRules::heldOffBus(int node) const {
  return heldOffBus_[indexOf(node)];
}

void FaultRules::failNextCall(ExportId id) {
  failures_.push_back({id, 0, {1, true}});
  failureCalls_.push_back(0);
}

void FaultRules::loseRest(int node, int64_t restCount) {
  lostRests_.push_back({node, {restCount, true}});
}

void FaultRules::holdOffBus(int node, bool held) {
  heldOffBus_[indexOf(node)] = held;
}

}  // namespace halvane::sim
