#include "tools/halvane-trace/session_model.h"

#include <algorithm>
#include <charconv>

#include "common/export_names.h"

namespace halvane::tools {
namespace {

constexpr int64_t kLateReportUs = 1'000'000;
constexpr unsigned kMovingBit = 0x08;

std::optional<int> intArg(const trace::Record& r, size_t index) {
  if (index >= r.args.size()) {
    return std::nullopt;
  }
  int value = 0;
  const std::string& text = r.args[index];
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

// "[01 08]": the second status byte.
std::optional<unsigned> secondStatusByte(const trace::Record& r) {
  if (r.args.size() < 3 || r.args[2].size() != 7 || r.args[2].front() != '[') {
    return std::nullopt;
  }
  unsigned value = 0;
  const char* begin = r.args[2].data() + 4;
  const auto [end, error] = std::from_chars(begin, begin + 2, value, 16);
  return error == std::errc() && end == begin + 2 ? std::optional<unsigned>(value) : std::nullopt;
}

class ModelBuilder {
 public:
  explicit ModelBuilder(SessionModel& model) : model_(model) {}

  void add(const trace::Record& r) {
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
        model_.operatorSteps.push_back(&r);
        break;
      case trace::Kind::Header:
        model_.header = model_.header == nullptr ? &r : model_.header;
        break;
      case trace::Kind::InFlight:
      case trace::Kind::Crash:
        break;
    }
  }

  void finish() {
    for (auto& [node, summary] : model_.nodes) {
      std::sort(summary.moves.begin(), summary.moves.end(),
                [](const Move& a, const Move& b) { return a.startUs < b.startUs; });
    }
  }

 private:
  Move* openMove(int node) {
    auto& moves = model_.nodes[node].moves;
    return !moves.empty() && !moves.back().endUs ? &moves.back() : nullptr;
  }

  void call(const trace::Record& r) {
    const int node = nodeOf(r);
    NodeSummary& summary = model_.nodes[node];
    CallStats& stats = summary.byExport[r.name];
    ++stats.calls;
    if (r.missing) {
      ++stats.missing;
      return;
    }
    if (r.result.value_or(0) != 0) {
      stats.failures.push_back(&r);
    }
    summary.busUs += r.busUs.value_or(r.tookUs.value_or(0));
    if (r.name == "PCAN_SetExtStopEnable") {
      armed_[node] = intArg(r, 1).value_or(0) != 0;
    } else if (r.name == "PCAN_StartRelStep" && r.result == 0) {
      Move move;
      move.node = node;
      move.startUs = r.timeUs;
      move.steps = intArg(r, 1).value_or(0);
      move.homing = armed_[node];
      summary.moves.push_back(move);
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

  // With no report, a move's end is where its position first stood still between two reads.
  void restByPosition(int node, const trace::Record& r) {
    auto& [time, position] = lastPosition_[node];
    Move* move = openMove(node);
    if (move != nullptr && time && *time >= move->startUs && position == *r.out) {
      move->endUs = *time;
    }
    time = r.timeUs;
    position = *r.out;
  }

  void callback(const trace::Record& r) {
    const int node = nodeOf(r);
    if (r.name == "OnlineCallback") {
      model_.nodes[node].onlineChanges.emplace_back(r.timeUs, intArg(r, 1).value_or(0));
      return;
    }
    if (r.name != "StatusCallback" || intArg(r, 1) != 0) {
      return;
    }
    const auto second = secondStatusByte(r);
    if (!second || (*second & kMovingBit) != 0) {
      return;
    }
    NodeSummary& summary = model_.nodes[node];
    ++summary.restReports;
    if (Move* move = openMove(node)) {
      move->endUs = r.timeUs;
      move->end = MoveEnd::RestReported;
    } else if (!summary.moves.empty() && summary.moves.back().endUs &&
               r.timeUs - *summary.moves.back().endUs > kLateReportUs) {
      ++summary.lateReports;
      if (summary.moves.back().end == MoveEnd::NoReport) {
        summary.moves.back().end = MoveEnd::RestReported;
      }
    }
  }

  // The simulated rig's own view of a rest: "rest node=1 ... report=lost".
  void event(const trace::Record& r) {
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
      move->end = MoveEnd::ReportLost;
    }
  }

  SessionModel& model_;
  std::map<int, bool> armed_;
  std::map<int, std::pair<std::optional<int64_t>, int>> lastPosition_;
};

}  // namespace

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

int64_t callDuration(const trace::Record& r) {
  return r.tookUs.value_or(r.busUs.value_or(0));
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
  }
  return "";
}

SessionModel buildModel(std::vector<trace::Record> records) {
  SessionModel model;
  model.records = std::move(records);
  ModelBuilder builder(model);
  bool first = true;
  for (const trace::Record& r : model.records) {
    const int64_t end = r.timeUs + (r.kind == trace::Kind::Call ? callDuration(r) : 0);
    model.firstUs = first ? r.timeUs : std::min(model.firstUs, r.timeUs);
    model.lastUs = first ? end : std::max(model.lastUs, end);
    first = false;
    builder.add(r);
  }
  builder.finish();
  return model;
}

}  // namespace halvane::tools
