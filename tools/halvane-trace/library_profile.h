// What a trace shows of the controller library itself, measured: how long each export takes, when
// its status reports come against the start that caused them, stale, lost and repeated reports,
// how its position read lags, repeats or wavers, which calls fail, and when the nodes come online.
// Built in one pass in time order, keeping figures, not lines.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "trace/trace_record.h"

namespace halvane::tools {

// Durations of one export's calls in whole microseconds: four bytes a call.
struct Durations {
  std::vector<int32_t> us;
  // The value below which `share` (0..1) of the calls fall; nothing without calls.
  std::optional<int64_t> quantileUs(double share) const;
};

// How one export fares on one node (0: the bus-level exports), counting its calls as the library
// saw them, whatever their outcome.
struct ExportFailures {
  int64_t calls = 0;
  int64_t failed = 0;
  std::vector<int64_t> failedCalls;  // the numbers (1-based) of the first failing calls
  std::map<int, int64_t> byResult;   // how many failed with each result
};

inline constexpr size_t kFailedCallsKept = 64;
inline constexpr size_t kGapsKept = 20;

// A figure measured over a number of samples.
struct Spread {
  int64_t count = 0;
  int64_t minUs = 0;
  int64_t maxUs = 0;
  std::vector<int32_t> samplesUs;  // kept to give the median
  void add(int64_t us);
  std::optional<int64_t> medianUs() const;
};

// A value known to lie in [lowUs, highUs], narrowed by every sample that bounds it.
struct Bounds {
  int64_t samples = 0;
  int64_t lowUs = 0;
  std::optional<int64_t> highUs;
  void add(int64_t low, int64_t high);
};

struct ReadPair {
  int64_t fromUs = 0;
  int64_t toUs = 0;
  int64_t move = 0;  // which move (counted over all nodes) they were read in
};
inline constexpr size_t kReadPairsKept = 200;

struct NodeProfile {
  int64_t moves = 0;               // accepted starts
  int64_t startReportsInside = 0;  // the start's moving report came while the start was in flight
  Spread startReportAfterReturn;   // ... or this long after the start returned
  int64_t startsWithoutReport = 0;
  int64_t restReports = 0;
  int64_t restReportsInsideStart = 0;
  Spread restReportAfterReturn;         // a move's first rest report, after its start returned
  std::vector<int64_t> staleRestMoves;  // the numbers of the moves whose start brought a stale rest
  int64_t staleRests = 0;
  std::vector<int64_t> lostRestMoves;  // moves ended by the next accepted start without a report
  int64_t lostRests = 0;
  int64_t undecidedRests = 0;  // a report only at the start: stale with the real one lost, or short
  int64_t repeatedReports = 0;  // the same status again, no start between
  Spread repeatInterval;
  // Position reads.
  int64_t positionReads = 0;
  Bounds startLag;              // how long reads kept showing where the move began
  int64_t movesShowingLag = 0;  // moves whose reads told how long the start stood in them
  Spread repeatWhileTurning;    // time between two equal reads with a change before and after
  int64_t changesWhileTurning = 0;
  int64_t waverings = 0;  // reads at rest one or two counts off the read or set value before
  int64_t readsAtRestCompared = 0;
  // Online answers.
  int64_t onlineAnswers = 0;
  int64_t onlineNo = 0;    // IsSlaveOnline answered that the node is not online
  Spread onlineAfterOpen;  // from the Open's return to the node's online report
  bool cameOnline = false;
};

struct LibraryProfile {
  std::map<std::string, Durations> durations;                      // by export
  std::map<std::pair<std::string, int>, ExportFailures> failures;  // by export and node
  std::map<int, int64_t> missing;  // calls of missing exports, by node
  std::map<std::string, int64_t> missingByExport;
  std::map<int, NodeProfile> nodes;  // 1, 2, ...
  // Consecutive position reads while a wheel turned, the first few: those that differed and those
  // that repeated, for the period at which the library refreshes what it answers. Each move's are
  // fitted apart: the library's clock need not keep step with the trace's over a long run.
  std::vector<ReadPair> refreshChanges;
  std::vector<ReadPair> refreshRepeats;
  int64_t opens = 0;
  int64_t records = 0;
  int64_t firstUs = 0;
  int64_t lastUs = 0;
  bool simulated = false;  // the simulated rig's own trace (bus=, not took=)
  // Where the trace is not whole, as it says so: records overwritten or cut off, a small file.
  std::vector<std::string> gaps;  // the first few
  int64_t gapCount = 0;
  // The trace holds operator steps (the recording stand-in's does), and the window's end among
  // them: where it has steps but not the end, it was cut off.
  bool operatorSteps = false;
  bool windowEnded = false;
};

class ProfileBuilder {
 public:
  ProfileBuilder();
  ~ProfileBuilder();
  // Records in the order of the trace's lines.
  void add(const trace::Record& record);
  LibraryProfile finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

LibraryProfile buildProfile(const std::vector<trace::Record>& records);

}  // namespace halvane::tools
