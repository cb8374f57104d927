#include "sim/rig_core.h"

#include <algorithm>

#include "sim/home_switch.h"

namespace halvane::sim {
namespace {

constexpr int kMaxAdapterIndex = 8;
constexpr int kInitMode = 2;  // the one adapter mode modelled: normal operation
constexpr int kFirstChannel = 1;
constexpr int kLastChannel = 2;

double seconds(Duration d) {
  return std::chrono::duration<double>(d).count();
}

bool hasOutValue(ExportId id) {
  return id == ExportId::PCAN_IsSlaveOnline || id == ExportId::PCAN_GetMotorPos ||
         id == ExportId::PCAN_GetGPIOValue || id == ExportId::PCAN_GetControlStatus;
}

}  // namespace

RigCore::RigCore(const SimConfig& config) : config_(config), faults_(config) {
  for (size_t i = 0; i < nodes_.size(); ++i) {
    NodeState initial;
    initial.wheelUnits = wheelUnitsFromDegrees(config.startAngleDegrees[i]);
    initial.switchWorks = !config.switchMissing[i];
    nodes_[i] = NodeController(static_cast<int>(i + 1), initial);
  }
}

bool RigCore::online(int node) const {
  return inRange(node, 1, kNodeCount) && nodes_[static_cast<size_t>(node - 1)].online();
}

const NodeState& RigCore::nodeState(int node) const {
  return nodes_[static_cast<size_t>(std::clamp(node, 1, kNodeCount) - 1)].state();
}

NodeController* RigCore::findNode(int node) {
  return inRange(node, 1, kNodeCount) ? &nodes_[static_cast<size_t>(node - 1)] : nullptr;
}

NodeContext RigCore::context(Outbox& out) {
  return {now_, config_.positionLag, config_.positionRefresh, faults_, out};
}

void RigCore::event(Outbox& out, const trace::Record& record) const {
  addEvent(out, now_, record);
}

void RigCore::advanceTo(Duration now, Outbox& out) {
  const Duration elapsed = std::max(Duration::zero(), now - now_);
  now_ = std::max(now_, now);
  bringOnline(out);
  const double dt = seconds(elapsed) * config_.timeScale;
  for (NodeController& node : nodes_) {
    node.advance(dt, context(out));
  }
  reportStatusPeriodically(out);
}

void RigCore::reportStatusPeriodically(Outbox& out) {
  if (!nextStatusReport_ || *nextStatusReport_ > now_) {
    return;
  }
  while (*nextStatusReport_ <= now_) {
    *nextStatusReport_ += config_.statusPeriod;
  }
  for (const NodeController& node : nodes_) {
    if (node.online()) {
      addStatusReport(out, node.id(), statusBytes(node.state(), isMoving(node.state())));
    }
  }
}

std::optional<Duration> RigCore::nextWake() const {
  std::optional<Duration> wake;
  for (const NodeController& node : nodes_) {
    if (isMoving(node.state())) {
      wake = now_ + kTickPeriod;
    }
  }
  for (const std::optional<Duration>& joins : joinsBusAt_) {
    if (joins && (!wake || *joins < *wake)) {
      wake = *joins;
    }
  }
  if (nextStatusReport_ && (!wake || *nextStatusReport_ < *wake)) {
    wake = *nextStatusReport_;
  }
  return wake;
}

void RigCore::bringOnline(Outbox& out) {
  for (size_t i = 0; i < nodes_.size(); ++i) {
    std::optional<Duration>& joins = joinsBusAt_[i];
    if (joins && *joins <= now_) {
      joins.reset();
      NodeController& node = nodes_[i];
      node.setOnline(true);
      event(out, trace::eventRecord("online", {{"node", std::to_string(node.id())}}));
      addOnlineReport(out, node.id(), kNodeOnlineState);
    }
  }
}

bool RigCore::injectedFailure(const Request& request, Outbox& out) {
  const int node = takesNode(request.id) ? request.intArg(0) : 0;
  const std::vector<int64_t> failing = faults_.countFailures(request.id, node);
  for (const int64_t count : failing) {
    event(out, trace::eventRecord("fault", {{"node", node == 0 ? "-" : std::to_string(node)},
                                            {"export", exportName(request.id)},
                                            {"call", std::to_string(count)}}));
  }
  return !failing.empty();
}

Answer RigCore::local(int result) {
  return {result, std::nullopt, Duration::zero()};
}

Answer RigCore::answered(int result, std::optional<int> out) const {
  return {result, out, busTime(Traffic::Answered, bitRateKbps_)};
}

Answer RigCore::unanswered(int result, std::optional<int> out) const {
  return {result, out, busTime(Traffic::Unanswered, bitRateKbps_)};
}

Answer RigCore::handle(const Request& request, Outbox& out) {
  if (injectedFailure(request, out)) {
    return takesNode(request.id) && busOpen_ ? answered(kErrInjected) : local(kErrInjected);
  }
  if (!takesNode(request.id)) {
    return handleBus(request, out);
  }
  if (hasOutValue(request.id) && request.out == nullptr) {
    return local(kErrRefused);  // nowhere to put the answer: nothing is sent
  }
  if (!busOpen_) {
    return local(kErrNotOpen);
  }
  NodeController* node = findNode(request.intArg(0));
  if (request.id == ExportId::PCAN_IsSlaveOnline) {
    return node != nullptr && node->online() ? answered(kOk, 1) : unanswered(kOk, 0);
  }
  if (node == nullptr || !node->online()) {
    return unanswered(kErrNoAnswer);
  }
  const NodeReply reply = node->handle(request, context(out));
  return answered(reply.result, reply.out);
}

Answer RigCore::handleBus(const Request& request, Outbox& out) {
  switch (request.id) {
    case ExportId::PCAN_Init:
      if (busOpen_) {
        return local(kErrBusy);
      }
      if (!inRange(request.intArg(0), 0, kMaxAdapterIndex) || request.intArg(1) != kInitMode ||
          !inRange(request.intArg(2), kFirstChannel, kLastChannel)) {
        return local(kErrRefused);
      }
      initialised_ = true;
      return local(kOk);
    case ExportId::PCAN_OpenPort: {
      if (!initialised_) {
        return local(kErrNotOpen);
      }
      if (busOpen_) {
        return local(kErrBusy);
      }
      const auto rate = bitRateForIndex(request.intArg(0));
      if (!rate) {
        return local(kErrRefused);
      }
      busOpen_ = true;
      bitRateKbps_ = *rate;
      event(out, trace::eventRecord("bus-open", {{"node", "-"}, {"kbps", std::to_string(*rate)}}));
      for (const NodeController& node : nodes_) {
        if (!faults_.heldOffBus(node.id())) {
          joinsBusAt_[static_cast<size_t>(node.id() - 1)] = now_ + config_.onlineDelay;
        }
      }
      if (config_.statusPeriod > Duration::zero()) {
        nextStatusReport_ = now_ + config_.statusPeriod;
      }
      return local(kOk);
    }
    case ExportId::PCAN_ClosePort:
      if (!busOpen_) {
        return local(kErrNotOpen);
      }
      closeBus(out);
      return local(kOk);
    case ExportId::PCAN_SetEventCallback:
      callbacks_ = request.callbacks;
      return local(kOk);
    default:
      return local(kErrRefused);
  }
}

void RigCore::closeBus(Outbox& out) {
  for (size_t i = 0; i < nodes_.size(); ++i) {
    joinsBusAt_[i].reset();
    NodeController& node = nodes_[i];
    if (node.online()) {
      node.setOnline(false);
      event(out, trace::eventRecord("offline", {{"node", std::to_string(node.id())}}));
      addOnlineReport(out, node.id(), 0);
    }
  }
  busOpen_ = false;
  nextStatusReport_.reset();
  event(out, trace::eventRecord("bus-closed", {{"node", "-"}}));
}

}  // namespace halvane::sim
