#include "sim/node_controller.h"

#include <string>
#include <utility>
#include <vector>

namespace halvane::sim {
namespace {

constexpr int kWorkModeSteps = 0;  // relative step moves, the one work mode modelled
constexpr int kAllExtStopFlags = 255;

bool acceptedMicrostep(int microstep) {
  return microstep == 0 ||
         (inRange(microstep, 1, kMaxMicrostep) && (microstep & (microstep - 1)) == 0);
}

// An event of this node, with where the wheel stands.
trace::Record nodeEvent(std::string name, int node, const NodeState& s,
                        std::vector<trace::Field> before = {}) {
  trace::Record r = trace::eventRecord(std::move(name), {{"node", std::to_string(node)}});
  r.fields.insert(r.fields.end(), before.begin(), before.end());
  r.fields.push_back({"pos", std::to_string(s.position)});
  r.fields.push_back({"angle", trace::decimalArg(wheelDegrees(s), 3)});
  return r;
}

}  // namespace

StatusBytes statusBytes(const NodeState& state, bool moving) {
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

NodeController::NodeController(int id, NodeState initial) : id_(id), state_(initial) {}

void NodeController::notePosition(const NodeContext& context) {
  if (context.positionLag <= Duration::zero()) {
    return;
  }
  positions_.emplace_back(context.now, state_.position);
  // Keep the newest sample that is at least the lag old: it answers reads until the next one is.
  while (positions_.size() > 1 && positions_[1].first <= context.now - context.positionLag) {
    positions_.pop_front();
  }
}

int32_t NodeController::positionRead(const NodeContext& context) const {
  if (isMoving(state_) && context.faults.readsPositionAtRestOnly(id_)) {
    return positionAtMoveStart_;
  }
  if (context.positionLag <= Duration::zero()) {
    return state_.position;
  }
  const Duration seen = context.now - context.positionLag;
  for (auto it = positions_.rbegin(); it != positions_.rend(); ++it) {
    if (it->first <= seen) {
      return it->second;
    }
  }
  // Nothing is that old: the counter has not changed since the oldest sample was taken.
  return positions_.empty() ? state_.position : positions_.front().second;
}

// The counter as read, then as a library that refreshes it on a fixed period and a wavering
// encoder pass it on.
int32_t NodeController::positionAnswer(const NodeContext& context) {
  int32_t position = positionRead(context);
  if (context.positionRefresh > Duration::zero()) {
    if (!refreshedPosition_ || context.now >= refreshedUntil_) {
      refreshedPosition_ = position;
      refreshedUntil_ = context.positionRefresh * (context.now / context.positionRefresh + 1);
    }
    position = *refreshedPosition_;
  }
  if (context.faults.positionWavers(id_) && ++positionReads_ % 2 == 0) {
    position += 1;
  }
  return position;
}

void NodeController::advance(double dt, const NodeContext& context) {
  if (!isMoving(state_)) {
    return;
  }
  const AdvanceResult result = sim::advance(state_, dt);
  state_ = result.state;
  notePosition(context);
  if (result.switchEntries > 0) {
    addEvent(context.out, context.now,
             nodeEvent("switch", id_, state_,
                       {{"entered", std::to_string(result.switchEntries)},
                        {"ext_stop", result.stoppedBySwitch ? "stopped" : "no"}}));
  }
  if (result.cameToRest) {
    reportRest(result.stoppedBySwitch, context);
  }
}

void NodeController::reportRest(bool bySwitch, const NodeContext& context) {
  const int64_t count = ++restReports_;
  const bool lost = context.faults.losesRest(id_, count);
  // A node off the bus (closed, or taken off) cannot report.
  const char* report = !online_ ? "no-bus" : lost ? "lost" : "sent";
  trace::Record rest = nodeEvent("rest", id_, state_);
  rest.fields.push_back({"by", bySwitch ? "ext-stop" : "end"});
  rest.fields.push_back({"report", report});
  rest.fields.push_back({"rest_count", std::to_string(count)});
  addEvent(context.out, context.now, rest);
  if (online_ && !lost) {
    addStatusReport(context.out, id_, statusBytes(state_, false));
  }
}

NodeReply NodeController::handle(const Request& request, const NodeContext& context) {
  NodeSettings& s = state_.settings;
  const int value = request.intArg(1);
  const auto set = [](bool accepted, auto apply) {
    if (!accepted) {
      return NodeReply{kErrRefused};
    }
    apply();
    return NodeReply{kOk};
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
      return startMove(value, context);
    case ExportId::PCAN_GetMotorPos:
      return {kOk, positionAnswer(context)};
    case ExportId::PCAN_SetMotorPos:
      state_.position = value;  // the counter only: the wheel stays where it is
      positions_.clear();       // a counter that is set is read at once
      refreshedPosition_.reset();
      notePosition(context);
      return {kOk};
    case ExportId::PCAN_GetGPIOValue:
      return {kOk, inputWord(state_)};
    case ExportId::PCAN_SetExtStopTrigger:
      return set(value == kExtStopOnEntering || value == kExtStopOnLeaving,
                 [&] { s.extStopTrigger = value; });
    case ExportId::PCAN_SetExtStopEnable:
      return set(inRange(value, 0, 1), [&] { s.extStopEnabled = value == 1; });
    case ExportId::PCAN_ClearExtStopFlag:
      return set(inRange(value, 0, kAllExtStopFlags),
                 [&] { state_.extStopFlag &= ~static_cast<unsigned>(value); });
    case ExportId::PCAN_GetControlStatus:
      return {kOk, controlStatus(state_)};
    default:
      return {kErrRefused};
  }
}

NodeReply NodeController::startMove(int steps, const NodeContext& context) {
  if (isMoving(state_)) {
    return {kErrBusy};
  }
  if (state_.extStopFlag != 0) {
    return {kErrExtStopLatched};
  }
  const NodeState before = state_;
  positionAtMoveStart_ = before.position;
  notePosition(context);
  state_ = sim::startMove(state_, steps);
  const NodeSettings& s = state_.settings;
  trace::Record start = nodeEvent("move-start", id_, before,
                                  {{"steps", std::to_string(state_.move.steps)},
                                   {"dir", state_.move.direction > 0 ? "up" : "down"}});
  const std::pair<const char*, int> settings[] = {{"microstep", s.microstep},
                                                  {"start_speed", s.startSpeed},
                                                  {"max_speed", s.maxSpeed},
                                                  {"accel", s.accelLevel},
                                                  {"decel", s.decelLevel}};
  for (const auto& [key, value] : settings) {
    start.fields.push_back({key, std::to_string(value)});
  }
  start.fields.push_back({"ext_stop", s.extStopEnabled ? "armed" : "off"});
  addEvent(context.out, context.now, start);
  addStatusReport(context.out, id_, statusBytes(state_, true));
  const int64_t count = ++movesStarted_;
  if (context.faults.bringsStaleRest(id_, count)) {
    // A report the library read from the node before the move, delivered while it takes the start.
    trace::Record stale = nodeEvent("stale-rest", id_, before);
    stale.fields.push_back({"move_count", std::to_string(count)});
    addEvent(context.out, context.now, stale);
    addStatusReport(context.out, id_, statusBytes(before, false));
  }
  return {kOk};
}

}  // namespace halvane::sim
