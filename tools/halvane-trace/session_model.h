// What a trace tells about a session, per node: the calls, the moves from start to rest, the
// rest reports, the online changes; and the operator's steps. Built from any trace, the
// simulated rig's or the recording stand-in's.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "trace/trace_record.h"

namespace halvane::tools {

inline constexpr int kBusLane = 0;  // exports that name no node

enum class MoveEnd {
  RestReported,  // a status report said the motor stopped
  ExtStop,       // stopped by the home switch: the control status read after it said so
  ReportLost,    // the simulated rig says it came to rest but sent no report
  NoReport,      // no report before the next move on the node or the trace's end
};

struct Move {
  int node = 0;
  int64_t startUs = 0;
  std::optional<int64_t> endUs;
  int steps = 0;
  MoveEnd end = MoveEnd::NoReport;
  bool homing = false;    // started with the home-switch stop armed
  bool bySwitch = false;  // the control status read after it says the switch stopped it
};

struct CallStats {
  int calls = 0;
  int missing = 0;
  std::vector<const trace::Record*> failures;
};

struct NodeSummary {
  std::map<std::string, CallStats> byExport;
  std::vector<Move> moves;
  int restReports = 0;
  int lateReports = 0;  // more than a second after the simulated rig's rest
  std::vector<std::pair<int64_t, int>> onlineChanges;  // time, state
  int64_t busUs = 0;  // the rig's bus time, or the calls' own time where the trace has no bus time
};

struct SessionModel {
  std::vector<trace::Record> records;
  std::map<int, NodeSummary> nodes;  // kBusLane, 1, 2, ...
  std::vector<const trace::Record*> operatorSteps;
  const trace::Record* header = nullptr;
  int64_t firstUs = 0;
  int64_t lastUs = 0;
};

// The node a record concerns: its first argument for per-node exports and callbacks, kBusLane
// for the others.
int nodeOf(const trace::Record& record);
// Time a call took: as measured by the caller, else its bus time.
int64_t callDuration(const trace::Record& record);
std::string_view moveEndName(MoveEnd end);

SessionModel buildModel(std::vector<trace::Record> records);

}  // namespace halvane::tools
