#include "sim/rig_core.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "controller/controller_exports.h"
#include "sim/home_switch.h"

namespace halvane::sim {
namespace {

constexpr int kMaxAdapterIndex = 8;
constexpr int kInitMode = 2;  // the one adapter mode modelled: normal operation
constexpr int kFirstChannel = 1;
constexpr int kLastChannel = 2;
constexpr int kWorkModeSteps = 0;  // relative step moves, the one work mode modelled
constexpr int kAllExtStopFlags = 255;

template <class... Args>
std::string format(const char* pattern, Args... args) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, pattern, args...);
  return buffer;
}

bool inRange(int value, int low, int high) {
  return value >= low && value <= high;
}

bool acceptedMicrostep(int microstep) {
  return microstep == 0 ||
         (inRange(microstep, 1, kMaxMicrostep) && (microstep & (microstep - 1)) == 0);
}

double seconds(Duration d) {
  return std::chrono::duration<double>(d).count();
}

OutItem onlineReport(int node, int state) {
  OutItem report;
  report.kind = OutItem::Kind::OnlineReport;
  report.node = node;
  report.state = state;
  return report;
}

std::string where(const NodeState& s) {
  return format("pos=%d angle=%.3f", s.position, wheelDegrees(s));
}

}  // namespace

std::array<unsigned char, kStatusBytes> statusBytes(const NodeState& state, bool moving) {
  const auto position = static_cast<uint32_t>(state.position);
  return {static_cast<unsigned char>(controlStatus(state)),
          static_cast<unsigned char>(moving ? kStatusMoving : 0),
          static_cast<unsigned char>(position & 0xFF),
          static_cast<unsigned char>((position >> 8) & 0xFF),
          static_cast<unsigned char>((position >> 16) & 0xFF),
          static_cast<unsigned char>((position >> 24) & 0xFF),
          static_cast<unsigned char>(inputWord(state)),
          0};
}

RigCore::RigCore(const SimConfig& config)
    : config_(config), failureCalls_(config.failures.size(), 0) {
  for (size_t i = 0; i < nodes_.size(); ++i) {
    NodeState& s = nodes_[i].state;
    s.wheelUnits = wheelUnitsFromDegrees(config.startAngleDegrees[i]);
    s.switchWorks = !config.switchMissing[i];
  }
}

bool RigCore::online(int node) const {
  return inRange(node, 1, kNodeCount) && nodes_[static_cast<size_t>(node - 1)].online;
}

const NodeState& RigCore::nodeState(int node) const {
  return nodes_[static_cast<size_t>(std::clamp(node, 1, kNodeCount) - 1)].state;
}

RigCore::Node* RigCore::findNode(int node) {
  return inRange(node, 1, kNodeCount) ? &nodes_[static_cast<size_t>(node - 1)] : nullptr;
}

void RigCore::event(Outbox& out, const std::string& text) const {
  OutItem item;
  item.kind = OutItem::Kind::Event;
  item.text = "event " + text;
  item.time = now_;
  out.push_back(std::move(item));
}

void RigCore::advanceTo(Duration now, Outbox& out) {
  const Duration elapsed = std::max(Duration::zero(), now - now_);
  now_ = std::max(now_, now);
  bringOnline(now_, out);
  const double dt = seconds(elapsed) * config_.timeScale;
  for (size_t i = 0; i < nodes_.size(); ++i) {
    advanceNode(nodes_[i], static_cast<int>(i + 1), dt, out);
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
  for (size_t i = 0; i < nodes_.size(); ++i) {
    if (nodes_[i].online) {
      OutItem item;
      item.kind = OutItem::Kind::StatusReport;
      item.node = static_cast<int>(i + 1);
      item.bytes = statusBytes(nodes_[i].state, isMoving(nodes_[i].state));
      out.push_back(item);
    }
  }
}

void RigCore::notePosition(Node& node) {
  if (config_.positionLag <= Duration::zero()) {
    return;
  }
  node.positions.emplace_back(now_, node.state.position);
  // Keep the newest sample that is at least the lag old: it answers reads until the next one is.
  while (node.positions.size() > 1 && node.positions[1].first <= now_ - config_.positionLag) {
    node.positions.pop_front();
  }
}

int32_t RigCore::positionRead(const Node& node) const {
  const Duration seen = now_ - config_.positionLag;
  for (auto it = node.positions.rbegin(); it != node.positions.rend(); ++it) {
    if (it->first <= seen) {
      return it->second;
    }
  }
  // Nothing is that old: the counter has not changed since the oldest sample was taken.
  return node.positions.empty() ? node.state.position : node.positions.front().second;
}

std::optional<Duration> RigCore::nextWake() const {
  std::optional<Duration> wake;
  for (const Node& node : nodes_) {
    if (isMoving(node.state)) {
      wake = now_ + kTickPeriod;
    }
  }
  for (const Node& node : nodes_) {
    if (node.onlineAt && (!wake || *node.onlineAt < *wake)) {
      wake = *node.onlineAt;
    }
  }
  if (nextStatusReport_ && (!wake || *nextStatusReport_ < *wake)) {
    wake = *nextStatusReport_;
  }
  return wake;
}

void RigCore::bringOnline(Duration now, Outbox& out) {
  for (size_t i = 0; i < nodes_.size(); ++i) {
    Node& node = nodes_[i];
    if (node.onlineAt && *node.onlineAt <= now) {
      node.onlineAt.reset();
      node.online = true;
      const int id = static_cast<int>(i + 1);
      event(out, format("online node=%d", id));
      out.push_back(onlineReport(id, kNodeOnlineState));
    }
  }
}

void RigCore::advanceNode(Node& node, int nodeId, double dt, Outbox& out) {
  if (!isMoving(node.state)) {
    return;
  }
  const AdvanceResult result = advance(node.state, dt);
  node.state = result.state;
  notePosition(node);
  if (result.switchEntries > 0) {
    event(out, format("switch node=%d entered=%lld ext_stop=%s %s", nodeId,
                      static_cast<long long>(result.switchEntries),
                      result.stoppedBySwitch ? "stopped" : "no", where(node.state).c_str()));
  }
  if (result.cameToRest) {
    reportRest(node, nodeId, result.stoppedBySwitch, out);
  }
}

void RigCore::reportRest(Node& node, int nodeId, bool bySwitch, Outbox& out) {
  const int64_t count = ++node.restReports;
  bool lost = false;
  for (const LostRestRule& rule : config_.lostRests) {
    lost = lost || ((rule.node == 0 || rule.node == nodeId) && rule.reports.matches(count));
  }
  // A node off the bus (closed, or taken off) cannot report.
  const char* report = !node.online ? "no-bus" : lost ? "lost" : "sent";
  event(out,
        format("rest node=%d %s by=%s report=%s rest_count=%lld", nodeId, where(node.state).c_str(),
               bySwitch ? "ext-stop" : "end", report, static_cast<long long>(count)));
  if (node.online && !lost) {
    OutItem item;
    item.kind = OutItem::Kind::StatusReport;
    item.node = nodeId;
    item.bytes = statusBytes(node.state, false);
    out.push_back(item);
  }
}

bool RigCore::injectedFailure(const Request& request, Outbox& out) {
  const int node = takesNode(request.id) ? request.intArg(0) : 0;
  bool fail = false;
  for (size_t i = 0; i < config_.failures.size(); ++i) {
    const FailureRule& rule = config_.failures[i];
    if (rule.exportId != request.id || (rule.node != 0 && rule.node != node)) {
      continue;
    }
    const int64_t count = ++failureCalls_[i];
    if (rule.calls.matches(count)) {
      fail = true;
      event(out, format("fault node=%s export=%s call=%lld",
                        node == 0 ? "-" : std::to_string(node).c_str(), exportName(request.id),
                        static_cast<long long>(count)));
    }
  }
  return fail;
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
  const bool hasOut =
      request.id == ExportId::PCAN_IsSlaveOnline || request.id == ExportId::PCAN_GetMotorPos ||
      request.id == ExportId::PCAN_GetGPIOValue || request.id == ExportId::PCAN_GetControlStatus;
  if (hasOut && request.out == nullptr) {
    return local(kErrRefused);  // nowhere to put the answer: nothing is sent
  }
  if (!busOpen_) {
    return local(kErrNotOpen);
  }
  const int nodeId = request.intArg(0);
  Node* node = findNode(nodeId);
  if (request.id == ExportId::PCAN_IsSlaveOnline) {
    return node != nullptr && node->online ? answered(kOk, 1) : unanswered(kOk, 0);
  }
  if (node == nullptr || !node->online) {
    return unanswered(kErrNoAnswer);
  }
  return handleNode(request, *node, nodeId, out);
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
      event(out, format("bus-open node=- kbps=%d", *rate));
      for (size_t i = 0; i < nodes_.size(); ++i) {
        if (!config_.neverOnline[i]) {
          nodes_[i].onlineAt = now_ + config_.onlineDelay;
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
    Node& node = nodes_[i];
    node.onlineAt.reset();
    if (node.online) {
      node.online = false;
      const int id = static_cast<int>(i + 1);
      event(out, format("offline node=%d", id));
      out.push_back(onlineReport(id, 0));
    }
  }
  busOpen_ = false;
  nextStatusReport_.reset();
  event(out, "bus-closed node=-");
}

Answer RigCore::handleNode(const Request& request, Node& node, int nodeId, Outbox& out) {
  NodeSettings& s = node.state.settings;
  const int value = request.intArg(1);
  const auto set = [&](bool accepted, auto apply) {
    if (!accepted) {
      return answered(kErrRefused);
    }
    apply();
    return answered(kOk);
  };
  switch (request.id) {
    case ExportId::PCAN_SetAccel:
      return set(inRange(value, 0, kMaxAccelLevel), [&] { s.accelLevel = value; });
    case ExportId::PCAN_SetDecel:
      return set(inRange(value, 0, kMaxAccelLevel), [&] { s.decelLevel = value; });
    case ExportId::PCAN_SetMicroStep:
      return set(acceptedMicrostep(value), [&] { s.microstep = value; });
    case ExportId::PCAN_SetStartSpeed:
      return set(inRange(value, 0, kMaxStepRate), [&] { s.startSpeed = value; });
    case ExportId::PCAN_SetStopSpeed:
      return set(inRange(value, 0, kMaxStepRate), [&] { s.stopSpeed = value; });
    case ExportId::PCAN_SetMaxSpeed:
      return set(value != 0 && inRange(value, -kMaxStepRate, kMaxStepRate),
                 [&] { s.maxSpeed = value; });
    case ExportId::PCAN_SetDir:
      return set(inRange(value, 0, 1), [&] { s.forward = value == 1; });
    case ExportId::PCAN_SetWorkMode:
      return set(value == kWorkModeSteps, [&] { s.workMode = value; });
    case ExportId::PCAN_StartRelStep:
      return startMove(node, nodeId, value, out);
    case ExportId::PCAN_GetMotorPos:
      return answered(
          kOk, config_.positionLag > Duration::zero() ? positionRead(node) : node.state.position);
    case ExportId::PCAN_SetMotorPos:
      node.state.position = value;  // the counter only: the wheel stays where it is
      node.positions.clear();       // a counter that is set is read at once
      notePosition(node);
      return answered(kOk);
    case ExportId::PCAN_GetGPIOValue:
      return answered(kOk, inputWord(node.state));
    case ExportId::PCAN_SetExtStopTrigger:
      return set(value == kExtStopOnEntering || value == kExtStopOnLeaving,
                 [&] { s.extStopTrigger = value; });
    case ExportId::PCAN_SetExtStopEnable:
      return set(inRange(value, 0, 1), [&] { s.extStopEnabled = value == 1; });
    case ExportId::PCAN_ClearExtStopFlag:
      return set(inRange(value, 0, kAllExtStopFlags),
                 [&] { node.state.extStopFlag &= ~static_cast<unsigned>(value); });
    case ExportId::PCAN_GetControlStatus:
      return answered(kOk, controlStatus(node.state));
    default:
      return answered(kErrRefused);
  }
}

Answer RigCore::startMove(Node& node, int nodeId, int steps, Outbox& out) {
  if (isMoving(node.state)) {
    return answered(kErrBusy);
  }
  if (node.state.extStopFlag != 0) {
    return answered(kErrExtStopLatched);
  }
  const NodeState before = node.state;
  notePosition(node);
  node.state = sim::startMove(node.state, steps);
  const NodeSettings& s = node.state.settings;
  event(out, format("move-start node=%d steps=%lld dir=%s %s microstep=%d start_speed=%d "
                    "max_speed=%d accel=%d decel=%d ext_stop=%s",
                    nodeId, static_cast<long long>(node.state.move.steps),
                    node.state.move.direction > 0 ? "up" : "down", where(before).c_str(),
                    s.microstep, s.startSpeed, s.maxSpeed, s.accelLevel, s.decelLevel,
                    s.extStopEnabled ? "armed" : "off"));
  OutItem report;
  report.kind = OutItem::Kind::StatusReport;
  report.node = nodeId;
  report.bytes = statusBytes(node.state, true);
  out.push_back(report);
  const int64_t count = ++node.movesStarted;
  bool stale = false;
  for (const StaleRestRule& rule : config_.staleRests) {
    stale = stale || ((rule.node == 0 || rule.node == nodeId) && rule.moves.matches(count));
  }
  if (stale) {
    // A report the library read from the node before the move, delivered while it takes the start.
    event(out, format("stale-rest node=%d %s move_count=%lld", nodeId, where(before).c_str(),
                      static_cast<long long>(count)));
    report.bytes = statusBytes(before, false);
    out.push_back(report);
  }
  return answered(kOk);
}

}  // namespace halvane::sim
