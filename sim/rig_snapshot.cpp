#include "sim/rig_snapshot.h"

#include <algorithm>

#include "sim/rig_core.h"

namespace halvane::sim {

bool RigSnapshot::anyMoving() const {
  return std::any_of(nodes.begin(), nodes.end(), [](const NodeSnapshot& n) { return n.moving; });
}

void CallHistory::record(const Request& request, const Answer& answer) {
  if (!takesNode(request.id) || request.intArg(0) < 1 || request.intArg(0) > kNodeCount) {
    return;  // bus-level calls, and calls to nodes that do not exist
  }
  std::string text = exportName(request.id);
  text += '(';
  for (int i = 0; i < request.argCount; ++i) {
    const Arg& arg = request.args[static_cast<size_t>(i)];
    text += i > 0 ? ", " : "";
    text += arg.pointer ? (arg.null ? "null" : "&") : std::to_string(arg.value);
  }
  text += ") -> " + std::to_string(answer.result);
  auto& calls = calls_[static_cast<size_t>(request.intArg(0) - 1)];
  calls.push_back(std::move(text));
  if (calls.size() > kRecentCallCount) {
    calls.pop_front();
  }
}

const std::deque<std::string>& CallHistory::of(int node) const {
  return calls_[static_cast<size_t>(std::clamp(node, 1, kNodeCount) - 1)];
}

RigSnapshot snapshotOf(const RigCore& core, const CallHistory& calls) {
  RigSnapshot snapshot;
  snapshot.busOpen = core.busOpen();
  snapshot.kbps = core.busOpen() ? core.bitRateKbps() : 0;
  for (int id = 1; id <= kNodeCount; ++id) {
    const NodeState& state = core.nodeState(id);
    NodeSnapshot& node = snapshot.nodes[static_cast<size_t>(id - 1)];
    node.wheelDegrees = wheelDegrees(state);
    node.position = state.position;
    node.moving = isMoving(state);
    node.speed = node.moving ? state.move.profile.speed : 0.0;
    node.microstep = state.settings.microstep;
    node.extStop = state.extStopFlag != 0          ? ExtStopState::Latched
                   : state.settings.extStopEnabled ? ExtStopState::Armed
                                                   : ExtStopState::Off;
    node.online = core.online(id);
    node.heldOffBus = core.faults().heldOffBus(id);
    node.switchWorks = state.switchWorks;
    const auto& recent = calls.of(id);
    node.recentCalls.assign(recent.begin(), recent.end());
  }
  return snapshot;
}

void SnapshotBoard::publish(RigSnapshot snapshot) {
  std::function<void()> wake;
  {
    std::lock_guard lock(mutex_);
    snapshot.version = current_.version + 1;
    current_ = std::move(snapshot);
    if (watching_ && wake_) {
      watching_ = false;
      wake = wake_;
    }
  }
  if (wake) {
    wake();
  }
}

RigSnapshot SnapshotBoard::read() const {
  std::lock_guard lock(mutex_);
  return current_;
}

void SnapshotBoard::setWatcher(std::function<void()> wake) {
  std::lock_guard lock(mutex_);
  wake_ = std::move(wake);
  watching_ = false;
}

void SnapshotBoard::watchNext() {
  std::lock_guard lock(mutex_);
  watching_ = true;
}

}  // namespace halvane::sim
