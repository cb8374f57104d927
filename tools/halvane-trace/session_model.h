// What a trace tells about a session, per node: the calls, the moves from start to rest, the
// rest reports, the online changes; and the operator's steps. Built from any trace, the
// simulated rig's or the recording stand-in's.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/halvane-trace/time_order.h"
#include "trace/trace_record.h"

namespace halvane::tools {

inline constexpr int kBusLane = 0;  // exports that name no node

enum class MoveEnd {
  RestReported,  // a status report said the motor stopped
  ExtStop,       // stopped by the home switch: the control status read after it said so
  ReportLost,    // the simulated rig says it came to rest but sent no report
  NoReport,      // no report before the next move on the node
  TraceEnds,     // under way where the trace ends: its report, if any came, is not in the trace
};

struct Move {
  int node = 0;
  int64_t startUs = 0;
  std::optional<int64_t> endUs;
  size_t startLine = 0;
  size_t endLine = 0;  // of the record that ended it; 0 while none did
  int steps = 0;
  MoveEnd end = MoveEnd::NoReport;
  bool homing = false;    // started with the home-switch stop armed
  bool bySwitch = false;  // the control status read after it says the switch stopped it
  bool closed = false;    // its end is known: a report, the rig's word, or the next move
};

// What is kept of a kind of line that may come in any number: the count, and the first few.
struct Kept {
  size_t count = 0;
  std::vector<TraceLine> first;
  void add(const TraceLine& record, size_t limit);
};

inline constexpr size_t kFailuresKept = 20;  // per export and node
inline constexpr size_t kStepsKept = 2000;
inline constexpr size_t kRareLinesKept = 100;  // in-flight lines, crashes
inline constexpr size_t kLongestKept = 5;

struct CallStats {
  int calls = 0;
  int missing = 0;
  Kept failures;
};

struct OnlineChange {
  int64_t timeUs = 0;
  int state = 0;
  size_t line = 0;
};

struct NodeSummary {
  std::map<std::string, CallStats> byExport;
  std::vector<Move> moves;
  int restReports = 0;
  int lateReports = 0;  // more than a second after the simulated rig's rest
  std::vector<OnlineChange> onlineChanges;
  int64_t busUs = 0;  // the rig's bus time, or the calls' own time where the trace has no bus time
};

struct Interval {
  int64_t fromUs = 0;
  int64_t toUs = 0;
};

// Built a line at a time and holding no line it does not need, so that a trace of any length
// takes memory in proportion to its moves and idle gaps, not to its lines.
struct SessionModel {
  std::map<int, NodeSummary> nodes;  // kBusLane, 1, 2, ...
  Kept operatorSteps;
  Kept inFlight;
  Kept crashes;
  // Where the trace says it is not whole: records overwritten or cut off, a file smaller than
  // meant.
  Kept gaps;
  bool windowEnded = false;             // the operator's window-end step is in the trace
  std::vector<TraceLine> longestCalls;  // longest first
  std::optional<TraceLine> header;
  size_t lines = 0;
  int64_t firstUs = 0;
  int64_t lastUs = 0;
  // The stretches where something happens (a line, a call, a move), merged where less than
  // `kBusyGapUs` apart, in time order.
  std::vector<Interval> busy;
};

inline constexpr int64_t kBusyGapUs = 5'000'000;

// The node a record concerns: its first argument for per-node exports and callbacks, kBusLane
// for the others.
int nodeOf(const trace::Record& record);
std::string_view moveEndName(MoveEnd end);
using trace::intArg;
inline constexpr unsigned kMovingBit = 0x08;
// A status report's second byte, "[01 08]" -> 0x08: bit 3 says the motor turns.
std::optional<unsigned> secondStatusByte(const trace::Record& record);
// A motion status report saying the motor is at rest (kind 0, the moving bit of its second byte
// clear): the one reading of a report for every view.
bool isRestReport(const trace::Record& record);
// A motion status report of either kind, at rest or moving.
bool isMotionReport(const trace::Record& record);
// Position reads that differ by this much or less are the counter wavering, not the wheel turning.
inline constexpr int kWaverCounts = 2;
// How far apart two readings of the counter are; in 64 bits, as a 32-bit counter may wrap.
inline int64_t countsApart(int a, int b) {
  const int64_t apart = static_cast<int64_t>(a) - b;
  return apart < 0 ? -apart : apart;
}
// An event saying the trace is not whole here: records overwritten or cut off, a small file, full.
bool isGap(const trace::Record& record);

class ModelBuilder {
 public:
  // Each record is also handed to `inTimeOrder` once the model has taken it, in the order of
  // the times (what a further view of the session needs, read in the same pass).
  using RecordUse = std::function<void(const TraceLine&)>;
  explicit ModelBuilder(RecordUse inTimeOrder = {});
  ~ModelBuilder();
  // Records in the order of the trace's lines: the first is line 1.
  void add(const trace::Record& record);
  SessionModel finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

SessionModel buildModel(const std::vector<trace::Record>& records);

}  // namespace halvane::tools
