// The rig without threads or clocks: the adapter and the bus, the two controller nodes on it
// (node_controller.h) and the faults in force (fault_rules.h). It is told the time (since the
// library loaded) and answers requests; what it reports (callbacks to make, trace events) goes into
// an outbox that the runner delivers in order. Everything here is deterministic.
#pragma once

#include <array>
#include <optional>

#include "sim/fault_rules.h"
#include "sim/hand_faults.h"
#include "sim/node_controller.h"
#include "sim/outbox.h"
#include "sim/request.h"
#include "sim/sim_config.h"

namespace halvane::sim {

// How often the rig wakes while a motor turns (real time).
inline constexpr Duration kTickPeriod = std::chrono::milliseconds(2);

class RigCore {
 public:
  explicit RigCore(const SimConfig& config);

  // Moves time on to `now` (earlier times count as no time at all).
  void advanceTo(Duration now, Outbox& out);
  // Handles one call at the time of the last advanceTo.
  Answer handle(const Request& request, Outbox& out);
  // When the rig next has something to do on its own; nothing while it is idle.
  std::optional<Duration> nextWake() const;

  Duration now() const { return now_; }
  const EventCallbacks& callbacks() const { return callbacks_; }
  bool busOpen() const { return busOpen_; }
  bool online(int node) const;
  const NodeState& nodeState(int node) const;
  int bitRateKbps() const { return bitRateKbps_; }
  const FaultRules& faults() const { return faults_; }

  // A fault made by hand, at the time of the last advanceTo (hand_faults.cpp).
  void applyHandFault(const HandFault& fault, Outbox& out);

 private:
  NodeController* findNode(int node);
  NodeContext context(Outbox& out);
  void event(Outbox& out, const trace::Record& record) const;
  bool injectedFailure(const Request& request, Outbox& out);
  static Answer local(int result);  // handled without bus traffic
  Answer answered(int result, std::optional<int> out = std::nullopt) const;
  Answer unanswered(int result, std::optional<int> out = std::nullopt) const;
  Answer handleBus(const Request& request, Outbox& out);
  void bringOnline(Outbox& out);
  void reportStatusPeriodically(Outbox& out);
  void closeBus(Outbox& out);

  SimConfig config_;
  FaultRules faults_;
  std::array<NodeController, kNodeCount> nodes_{};
  // When each node joins the open bus (the online delay after opening or being put back).
  std::array<std::optional<Duration>, kNodeCount> joinsBusAt_{};
  EventCallbacks callbacks_;
  Duration now_{};
  bool initialised_ = false;
  bool busOpen_ = false;
  int bitRateKbps_ = 0;
  std::optional<Duration> nextStatusReport_;
};

}  // namespace halvane::sim
