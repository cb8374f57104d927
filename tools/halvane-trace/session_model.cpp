#include "tools/halvane-trace/session_model.h"

#include <algorithm>

#include "common/export_names.h"
#include "tools/halvane-trace/start_reports.h"
#include "trace/ring_reader.h"

namespace halvane::tools {
namespace {

constexpr int64_t kLateReportUs = 1'000'000;

constexpr int64_t kBusyPadUs = 100'000;

// Merges [from, to] into the stretches, joining those less than the gap apart.
void addBusy(std::map<int64_t, int64_t>& busy, int64_t from, int64_t to) {
  auto it = busy.upper_bound(to + kBusyGapUs);
  while (it != busy.begin()) {
    const auto before = std::prev(it);
    if (before->second + kBusyGapUs < from) {
      break;
    }
    from = std::min(from, before->first);
    to = std::max(to, before->second);
    it = busy.erase(before);
  }
  busy.emplace(from, to);
}

}  // namespace

struct ModelBuilder::State {
  // Records are taken in the order of their times, not of their lines.
  TimeOrder order_{[this](const TraceLine& r) { add(r); }};

  void add(const TraceLine& r) {
    switch (r.kind) {
      case trace::Kind::Call:
        call(r);
        break;
      case trace::Kind::Callback:
        callback(r);
        break;
      case trace::Kind::Event:
        event(r);
        break;
      case trace::Kind::Operator:
        model_.operatorSteps.add(r, kStepsKept);
        model_.windowEnded = model_.windowEnded || r.name == trace::kWindowEnd;
        break;
      case trace::Kind::Header:
        if (!model_.header) {
          model_.header = r;
        }
        break;
      case trace::Kind::InFlight:
        model_.inFlight.add(r, kRareLinesKept);
        break;
      case trace::Kind::Crash:
        model_.crashes.add(r, kRareLinesKept);
        break;
    }
    if (inTimeOrder_) {
      inTimeOrder_(r);
    }
  }

  void longest(const TraceLine& r) {
    auto& calls = model_.longestCalls;
    const auto longer = [](const trace::Record& a, const trace::Record& b) {
      return callDuration(a) > callDuration(b);
    };
    if (calls.size() == kLongestKept && !longer(r, calls.back())) {
      return;
    }
    calls.insert(std::upper_bound(calls.begin(), calls.end(), r, longer), r);
    if (calls.size() > kLongestKept) {
      calls.pop_back();
    }
  }

  Move* openMove(int node) {
    auto& moves = model_.nodes[node].moves;
    return !moves.empty() && !moves.back().closed ? &moves.back() : nullptr;
  }

  void call(const TraceLine& r) {
    const int node = nodeOf(r);
    NodeSummary& summary = model_.nodes[node];
    CallStats& stats = summary.byExport[r.name];
    ++stats.calls;
    if (r.missing) {
      ++stats.missing;
      return;
    }
    longest(r);
    if (r.result.value_or(0) != 0) {
      stats.failures.add(r, kFailuresKept);
    }
    summary.busUs += r.busUs.value_or(r.tookUs.value_or(0));
    if (r.name == "PCAN_SetExtStopEnable") {
      armed_[node] = intArg(r, 1).value_or(0) != 0;
    } else if (r.name == "PCAN_StartRelStep" && r.result == 0) {
      closeUnreported(node, MoveEnd::NoReport);
      Move move;
      move.node = node;
      move.startUs = r.timeUs;
      move.startLine = r.line;
      move.steps = intArg(r, 1).value_or(0);
      move.homing = armed_[node];
      summary.moves.push_back(move);
      startReports_.started(node, r);
      restTaken_[node] = false;
    } else if (r.name == "PCAN_GetMotorPos" && r.out) {
      restByPosition(node, r);
    } else if (r.name == "PCAN_GetControlStatus" && r.out && (*r.out & 1) != 0) {
      auto& moves = summary.moves;
      if (!moves.empty() && moves.back().homing) {
        moves.back().bySwitch = true;
        if (moves.back().end == MoveEnd::RestReported) {
          moves.back().end = MoveEnd::ExtStop;
        }
      }
    }
  }

  // A position read that repeats the one before says the motor may be at rest from that read on;
  // the read lags while turning, so only a later read that moves again says it was not.
  void restByPosition(int node, const TraceLine& r) {
    auto& [time, position, line] = lastPosition_[node];
    std::optional<Still>& still = stillFrom_[node];
    const Move* move = openMove(node);
    if (move == nullptr || !time || *time < move->startUs) {
      still.reset();
    } else if (position != *r.out) {
      still.reset();
    } else if (!still) {
      still = Still{*time, line};
    }
    time = r.timeUs;
    position = *r.out;
    line = r.line;
  }

  // A move that ends with no report (the next move starts, or the trace ends) ends, as far as the
  // trace shows, where its position last stood still.
  void closeUnreported(int node, MoveEnd end) {
    if (Move* move = openMove(node)) {
      const std::optional<Still>& still = stillFrom_[node];
      move->endUs = still ? std::optional<int64_t>(still->timeUs) : std::nullopt;
      move->endLine = still ? still->line : 0;
      move->end = end;
      move->closed = true;
    }
    stillFrom_[node].reset();
  }

  void callback(const TraceLine& r) {
    const int node = nodeOf(r);
    if (r.name == "OnlineCallback") {
      model_.nodes[node].onlineChanges.push_back({r.timeUs, intArg(r, 1).value_or(0), r.line});
      return;
    }
    const MotionReport report = startReports_.take(r);
    if (report != MotionReport::Rest && report != MotionReport::RestBeforeMove) {
      return;
    }
    NodeSummary& summary = model_.nodes[node];
    ++summary.restReports;
    if (report == MotionReport::RestBeforeMove) {
      return;
    }
    bool& restTaken = restTaken_[node];
    if (Move* move = openMove(node)) {
      // A report over a second after the position stood still is a late one for that rest.
      const std::optional<Still> still = stillFrom_[node];
      const bool late = still && r.timeUs - still->timeUs > kLateReportUs;
      summary.lateReports += late ? 1 : 0;
      move->endUs = late ? still->timeUs : r.timeUs;
      move->endLine = late ? still->line : r.line;
      move->end = MoveEnd::RestReported;
      move->closed = true;
      stillFrom_[node].reset();
      restTaken = true;
    } else if (!restTaken && !summary.moves.empty() && summary.moves.back().endUs &&
               r.timeUs - *summary.moves.back().endUs > kLateReportUs) {
      // The move's own report, late; any after it repeat the status (a library may report it
      // periodically).
      restTaken = true;
      ++summary.lateReports;
      if (summary.moves.back().end == MoveEnd::NoReport) {
        summary.moves.back().end = MoveEnd::RestReported;
      }
    }
  }

  // The simulated rig's own view of a rest: "rest node=1 ... report=lost".
  void event(const TraceLine& r) {
    if (isGap(r)) {
      model_.gaps.add(r, kRareLinesKept);
      return;
    }
    if (r.name != "rest") {
      return;
    }
    const auto node = r.intField("node");
    const std::string* report = r.field("report");
    if (!node || report == nullptr || *report == "sent") {
      return;
    }
    if (Move* move = openMove(static_cast<int>(*node))) {
      move->endUs = r.timeUs;
      move->endLine = r.line;
      move->end = MoveEnd::ReportLost;
      move->closed = true;
    }
  }

  SessionModel model_;
  RecordUse inTimeOrder_;
  std::map<int64_t, int64_t> busy_;
  bool first_ = true;
  std::map<int, bool> armed_;
  struct LastPosition {
    std::optional<int64_t> timeUs;
    int position = 0;
    size_t line = 0;
  };
  // Where a node's position stood still from: the first of the reads that repeat.
  struct Still {
    int64_t timeUs = 0;
    size_t line = 0;
  };
  std::map<int, LastPosition> lastPosition_;
  std::map<int, std::optional<Still>> stillFrom_;
  StartReports startReports_;
  std::map<int, bool> restTaken_;  // per node: a rest report was taken for its latest start
};

std::optional<unsigned> secondStatusByte(const trace::Record& r) {
  const auto bytes = r.args.size() < 3 ? std::nullopt : trace::statusBytesOf(r.args[2]);
  return bytes ? std::optional<unsigned>((*bytes)[1]) : std::nullopt;
}

int nodeOf(const trace::Record& r) {
  // A call of the table's that takes no node speaks to the adapter.
  if (r.kind == trace::Kind::Call && controllerExportTakesNode(r.name) == false) {
    return kBusLane;
  }
  if (r.kind == trace::Kind::Callback && r.name == "SpareCallback") {
    return kBusLane;
  }
  return intArg(r, 0).value_or(kBusLane);
}

std::string_view moveEndName(MoveEnd end) {
  switch (end) {
    case MoveEnd::RestReported:
      return "rest reported";
    case MoveEnd::ExtStop:
      return "home switch";
    case MoveEnd::ReportLost:
      return "rest report lost";
    case MoveEnd::NoReport:
      return "no rest report";
    case MoveEnd::TraceEnds:
      return "under way where the trace ends";
  }
  return "";
}

bool isGap(const trace::Record& r) {
  return r.kind == trace::Kind::Event &&
         (r.name == trace::kRecordsDropped || r.name == trace::kRecordsCutOff ||
          r.name == trace::kTraceSpaceShort || r.name == trace::kTraceFull);
}

bool isMotionReport(const trace::Record& r) {
  return r.kind == trace::Kind::Callback && r.name == "StatusCallback" && intArg(r, 1) == 0 &&
         secondStatusByte(r).has_value();
}

bool isRestReport(const trace::Record& r) {
  return isMotionReport(r) && (*secondStatusByte(r) & kMovingBit) == 0;
}

void Kept::add(const TraceLine& record, size_t limit) {
  ++count;
  if (first.size() < limit) {
    first.push_back(record);
  }
}

ModelBuilder::ModelBuilder(RecordUse inTimeOrder) : state_(std::make_unique<State>()) {
  state_->inTimeOrder_ = std::move(inTimeOrder);
}
ModelBuilder::~ModelBuilder() = default;

void ModelBuilder::add(const trace::Record& r) {
  State& s = *state_;
  SessionModel& model = s.model_;
  const int64_t end = r.timeUs + (r.kind == trace::Kind::Call ? callDuration(r) : 0);
  model.firstUs = s.first_ ? r.timeUs : std::min(model.firstUs, r.timeUs);
  model.lastUs = s.first_ ? end : std::max(model.lastUs, end);
  s.first_ = false;
  ++model.lines;
  addBusy(s.busy_, r.timeUs - kBusyPadUs, end + kBusyPadUs);
  s.order_.add(r, model.lines);
}

SessionModel ModelBuilder::finish() {
  State& s = *state_;
  s.order_.finish();
  for (auto& [node, summary] : s.model_.nodes) {
    s.closeUnreported(node, MoveEnd::TraceEnds);
    std::sort(summary.moves.begin(), summary.moves.end(),
              [](const Move& a, const Move& b) { return a.startUs < b.startUs; });
    for (const Move& m : summary.moves) {
      if (m.endUs) {
        addBusy(s.busy_, m.startUs, *m.endUs);
      }
    }
  }
  for (const auto& [from, to] : s.busy_) {
    s.model_.busy.push_back({from, to});
  }
  return std::move(s.model_);
}

SessionModel buildModel(const std::vector<trace::Record>& records) {
  ModelBuilder builder;
  for (const trace::Record& r : records) {
    builder.add(r);
  }
  return builder.finish();
}

}  // namespace halvane::tools
