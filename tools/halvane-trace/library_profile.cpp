#include "tools/halvane-trace/library_profile.h"

#include <algorithm>
#include <cstdlib>

#include "tools/halvane-trace/session_model.h"
#include "tools/halvane-trace/start_reports.h"
#include "tools/halvane-trace/time_order.h"
#include "trace/ring_reader.h"
#include "trace/wait_reads.h"

namespace halvane::tools {
namespace {

// A rest report this soon after the start's moving report came with the start: no wheel turns a
// move and stops in that time, so when a later rest report follows it was stale.
constexpr int64_t kStartBurstUs = 20'000;

int32_t clampedUs(int64_t us) {
  return static_cast<int32_t>(std::clamp<int64_t>(us, INT32_MIN, INT32_MAX));
}

std::optional<int64_t> quantileOf(std::vector<int32_t> values, double share) {
  if (values.empty()) {
    return std::nullopt;
  }
  const auto index = static_cast<size_t>(share * static_cast<double>(values.size() - 1) + 0.5);
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(index),
                   values.end());
  return values[index];
}

template <typename T>
void keep(std::vector<T>& kept, T value, size_t limit) {
  if (kept.size() < limit) {
    kept.push_back(value);
  }
}

}  // namespace

std::optional<int64_t> Durations::quantileUs(double share) const {
  return quantileOf(us, share);
}

void Spread::add(int64_t us) {
  minUs = count == 0 ? us : std::min(minUs, us);
  maxUs = count == 0 ? us : std::max(maxUs, us);
  ++count;
  samplesUs.push_back(clampedUs(us));
}

std::optional<int64_t> Spread::medianUs() const {
  return quantileOf(samplesUs, 0.5);
}

void Bounds::add(int64_t low, int64_t high) {
  lowUs = samples == 0 ? low : std::max(lowUs, low);
  highUs = highUs ? std::min(*highUs, high) : high;
  ++samples;
}

struct ProfileBuilder::State {
  // One node's accepted move, from its start to the next accepted start.
  struct Move {
    int64_t number = 0;   // of the node's moves
    int64_t ordinal = 0;  // of all moves
    int64_t startUs = 0;
    int64_t returnUs = 0;
    std::optional<int64_t> movingReportUs;
    int rests = 0;
    bool firstRestInBurst = false;
    bool realRestSeen = false;
    // Position reads since the start.
    std::optional<int> startValue;
    std::optional<int64_t> lastSameUs;
    bool changed = false;
    std::optional<std::pair<int64_t, int>> lastRead;
    std::vector<ReadPair> pendingRepeats;  // kept until a later change proves the wheel turned
    // The counter was set (a homing's zero): the program took the wheel for standing, and a read
    // after it tells nothing of the turning, its jump least of all.
    bool counterSet = false;
  };
  struct Node {
    std::optional<Move> move;
    std::optional<unsigned> lastStatus;
    int64_t lastStatusUs = 0;
    bool startSinceStatus = false;
    bool lastStatusStale = false;
    // The counter's value while the node stands (a read at rest or a value set), if known.
    std::optional<int> atRest;
  };

  TimeOrder order_{[this](const TraceLine& r) { take(r); }};
  StartReports startReports_;
  LibraryProfile profile_;
  std::map<int, Node> nodes_;
  std::optional<int64_t> openReturnUs_;
  size_t lines_ = 0;
  int64_t moves_ = 0;

  // Only the library's calls and reports, the trace's gaps and the window's end tell of it.
  void take(const TraceLine& r) {
    if (r.kind == trace::Kind::Call) {
      call(r);
    } else if (r.kind == trace::Kind::Callback) {
      callback(r);
    } else if (r.kind == trace::Kind::Event && isGap(r)) {
      gap(r);
    } else if (r.kind == trace::Kind::Operator) {
      profile_.operatorSteps = true;
      profile_.windowEnded = profile_.windowEnded || r.name == trace::kWindowEnd;
    }
  }

  void gap(const TraceLine& r) {
    ++profile_.gapCount;
    keep(profile_.gaps, r.name + " (line " + std::to_string(r.line) + ")", kGapsKept);
    // What the lost records held is not known: no move is judged across them.
    if (r.name == trace::kRecordsDropped) {
      for (auto& [id, node] : nodes_) {
        node = Node{};
      }
    }
  }

  void call(const TraceLine& r) {
    const int node = nodeOf(r);
    if (r.missing) {
      ++profile_.missing[node];
      ++profile_.missingByExport[r.name];
      return;
    }
    profile_.simulated = profile_.simulated || (r.busUs && !r.tookUs);
    profile_.durations[r.name].us.push_back(clampedUs(callDuration(r)));
    ExportFailures& failures = profile_.failures[{r.name, node}];
    ++failures.calls;
    const int result = r.result.value_or(0);
    if (result != 0) {
      ++failures.failed;
      ++failures.byResult[result];
      keep(failures.failedCalls, failures.calls, kFailedCallsKept);
    }
    if (r.name == "PCAN_OpenPort") {
      ++profile_.opens;
      openReturnUs_ =
          result == 0 ? std::optional<int64_t>(r.timeUs + callDuration(r)) : std::nullopt;
    } else if (r.name == "PCAN_IsSlaveOnline" && result == 0 && r.out) {
      NodeProfile& p = profile_.nodes[node];
      ++p.onlineAnswers;
      p.onlineNo += *r.out == 0 ? 1 : 0;
    } else if (r.name == trace::kMoveStart && result == 0) {
      start(node, r);
    } else if (r.name == trace::kPositionRead && result == 0 && r.out) {
      positionRead(node, r.timeUs, *r.out);
    } else if (r.name == "PCAN_SetMotorPos" && result == 0) {
      Node& n = nodes_[node];
      n.atRest = n.move && !n.move->realRestSeen ? std::nullopt : intArg(r, 1);
      if (n.move) {
        n.move->counterSet = true;
        n.move->pendingRepeats.clear();  // unproven: the wheel may have stood
      }
    }
  }

  void start(int node, const TraceLine& r) {
    Node& n = nodes_[node];
    NodeProfile& p = profile_.nodes[node];
    endMove(node, true);
    Move move;
    move.number = ++p.moves;
    move.ordinal = ++moves_;
    move.startUs = r.timeUs;
    move.returnUs = r.timeUs + callDuration(r);
    move.startValue = n.atRest;
    n.move = move;
    startReports_.started(node, r);
    n.atRest.reset();
    n.startSinceStatus = true;
  }

  // The move ends where the next accepted start begins (`byNextStart`), or where the trace ends.
  void endMove(int node, bool byNextStart) {
    Node& n = nodes_[node];
    if (!n.move) {
      return;
    }
    NodeProfile& p = profile_.nodes[node];
    const Move& m = *n.move;
    p.startsWithoutReport += m.movingReportUs ? 0 : 1;
    if (byNextStart && m.rests == 0) {
      // The node took a new move, so it stood: its rest went unreported.
      ++p.lostRests;
      keep(p.lostRestMoves, m.number, kFailedCallsKept);
    } else if (byNextStart && m.rests == 1 && m.firstRestInBurst) {
      ++p.undecidedRests;
    }
    n.move.reset();
  }

  void callback(const TraceLine& r) {
    const int node = nodeOf(r);
    if (r.name == "OnlineCallback") {
      if (intArg(r, 1) == 1) {
        NodeProfile& p = profile_.nodes[node];
        p.cameOnline = true;
        if (openReturnUs_) {
          p.onlineAfterOpen.add(r.timeUs - *openReturnUs_);
        }
      }
      return;
    }
    const MotionReport report = startReports_.take(r);
    if (report == MotionReport::None) {
      return;
    }
    const std::optional<unsigned> status = secondStatusByte(r);
    Node& n = nodes_[node];
    NodeProfile& p = profile_.nodes[node];
    bool stale = false;
    if (n.move && report != MotionReport::RestBeforeMove) {
      stale = moveReport(p, *n.move, r.timeUs, report == MotionReport::Moving);
    }
    if (n.lastStatus == status && !n.startSinceStatus && !n.lastStatusStale) {
      ++p.repeatedReports;
      p.repeatInterval.add(r.timeUs - n.lastStatusUs);
    }
    n.lastStatus = status;
    n.lastStatusUs = r.timeUs;
    n.startSinceStatus = false;
    n.lastStatusStale = stale;
  }

  // A status report during a move. True when it is a rest report that came with the start.
  bool moveReport(NodeProfile& p, Move& m, int64_t atUs, bool moving) {
    if (moving) {
      if (!m.movingReportUs) {
        m.movingReportUs = atUs;
        if (atUs <= m.returnUs) {
          ++p.startReportsInside;
        } else {
          p.startReportAfterReturn.add(atUs - m.returnUs);
        }
      }
      return false;
    }
    ++p.restReports;
    p.restReportsInsideStart += atUs <= m.returnUs ? 1 : 0;
    ++m.rests;
    const bool inBurst =
        atUs <= m.returnUs || (m.movingReportUs && atUs - *m.movingReportUs <= kStartBurstUs);
    if (m.rests == 1) {
      m.firstRestInBurst = inBurst;
      if (!inBurst) {
        m.realRestSeen = true;
        p.restReportAfterReturn.add(atUs - m.returnUs);
      }
      return inBurst;
    }
    if (m.rests == 2 && m.firstRestInBurst) {
      // A second rest report after one that came with the start: that one was stale.
      ++p.staleRests;
      keep(p.staleRestMoves, m.number, kFailedCallsKept);
      m.realRestSeen = true;
      p.restReportAfterReturn.add(atUs - m.returnUs);
    }
    return false;
  }

  void positionRead(int node, int64_t atUs, int value) {
    Node& n = nodes_[node];
    NodeProfile& p = profile_.nodes[node];
    ++p.positionReads;
    if (!n.move || n.move->realRestSeen || n.move->counterSet) {
      atRestRead(n, p, value);
      if (!n.move || n.move->counterSet) {
        return;
      }
    }
    Move& m = *n.move;
    if (!m.startValue) {
      m.startValue = value;
    }
    const bool moved = countsApart(value, *m.startValue) > kWaverCounts;
    if (!m.changed && !moved) {
      m.lastSameUs = atUs;
    } else if (!m.changed) {
      m.changed = true;
      p.startLag.add(m.lastSameUs ? *m.lastSameUs - m.startUs : 0, atUs - m.startUs);
      ++p.movesShowingLag;
    } else if (m.lastRead) {
      const auto [lastUs, lastValue] = *m.lastRead;
      if (countsApart(value, lastValue) <= kWaverCounts) {
        // The same value again, give or take the counter's wavering (of a long stand, the first
        // few).
        keep(m.pendingRepeats, ReadPair{lastUs, atUs, m.ordinal}, kReadPairsKept);
      } else {
        ++p.changesWhileTurning;
        keep(profile_.refreshChanges, ReadPair{lastUs, atUs, m.ordinal}, kReadPairsKept);
        for (const ReadPair& repeat : m.pendingRepeats) {
          p.repeatWhileTurning.add(repeat.toUs - repeat.fromUs);
          keep(profile_.refreshRepeats, repeat, kReadPairsKept);
        }
        m.pendingRepeats.clear();
      }
    }
    m.lastRead = {atUs, value};
  }

  // A read while the node stands, against the read or the value set before it.
  void atRestRead(Node& n, NodeProfile& p, int value) {
    if (n.atRest) {
      ++p.readsAtRestCompared;
      const int64_t off = countsApart(value, *n.atRest);
      p.waverings += off > 0 && off <= kWaverCounts ? 1 : 0;
    }
    n.atRest = value;
  }
};

ProfileBuilder::ProfileBuilder() : state_(std::make_unique<State>()) {}
ProfileBuilder::~ProfileBuilder() = default;

void ProfileBuilder::add(const trace::Record& r) {
  State& s = *state_;
  LibraryProfile& p = s.profile_;
  const int64_t end = r.timeUs + (r.kind == trace::Kind::Call ? callDuration(r) : 0);
  p.firstUs = p.records == 0 ? r.timeUs : std::min(p.firstUs, r.timeUs);
  p.lastUs = p.records == 0 ? end : std::max(p.lastUs, end);
  ++p.records;
  s.order_.add(r, ++s.lines_);
}

LibraryProfile ProfileBuilder::finish() {
  State& s = *state_;
  s.order_.finish();
  for (auto& [node, n] : s.nodes_) {
    s.endMove(node, false);
  }
  return std::move(s.profile_);
}

LibraryProfile buildProfile(const std::vector<trace::Record>& records) {
  ProfileBuilder builder;
  for (const trace::Record& r : records) {
    builder.add(r);
  }
  return builder.finish();
}

}  // namespace halvane::tools
