// One node's controller as the bus reaches it: the settings it takes, the moves it starts and runs
// to rest, its step counter (read as far behind as asked, or only at rest) and the status reports
// it sends. The
// rig around it says what time it is, which faults are in force and where reports go.
#pragma once

#include <deque>
#include <optional>
#include <utility>

#include "sim/fault_rules.h"
#include "sim/node_model.h"
#include "sim/outbox.h"
#include "sim/request.h"

namespace halvane::sim {

struct NodeContext {
  Duration now{};
  Duration positionLag{};
  Duration positionRefresh{};
  FaultRules& faults;
  Outbox& out;
};

// A node's answer to a call; the bus adds its time.
struct NodeReply {
  NodeReply(int code, std::optional<int> value = std::nullopt) : result(code), out(value) {}
  int result;
  std::optional<int> out;
};

class NodeController {
 public:
  NodeController() = default;
  NodeController(int id, NodeState initial);

  // A call addressed to this node while it is on the bus.
  NodeReply handle(const Request& request, const NodeContext& context);
  // The running move, dt seconds of motion time on; its rest is reported when it ends.
  void advance(double dt, const NodeContext& context);

  int id() const { return id_; }
  const NodeState& state() const { return state_; }
  NodeState& state() { return state_; }
  int64_t restReports() const { return restReports_; }
  // On the bus: it answers calls and its reports reach the library.
  bool online() const { return online_; }
  void setOnline(bool online) { online_ = online; }

 private:
  NodeReply startMove(int steps, const NodeContext& context);
  void reportRest(bool bySwitch, const NodeContext& context);
  void notePosition(const NodeContext& context);
  int32_t positionRead(const NodeContext& context) const;
  int32_t positionAnswer(const NodeContext& context);

  int id_ = 0;
  NodeState state_;
  bool online_ = false;
  int64_t restReports_ = 0;
  int64_t movesStarted_ = 0;
  int32_t positionAtMoveStart_ = 0;
  // The step counter over the last while, oldest first, for a position read that lags.
  std::deque<std::pair<Duration, int32_t>> positions_;
  // What a library that refreshes the position now and then answers, and until when.
  std::optional<int32_t> refreshedPosition_;
  Duration refreshedUntil_{};
  int64_t positionReads_ = 0;
};

// The eight status bytes of a motion report: [0] control status, [1] bit 3 moving, [2..5] the
// step counter (little-endian), [6] the input word, [7] 0.
StatusBytes statusBytes(const NodeState& state, bool moving);

}  // namespace halvane::sim
