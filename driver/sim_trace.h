// The simulated library's trace as the end-to-end tests read it: what reached the controllers, in
// order. Lines are read by the trace format's own reader.
#pragma once

#include <string>
#include <vector>

#include "trace/trace_writer.h"

namespace halvane::e2e {

struct TraceEntry {
  double ms = 0;     // since the library loaded
  std::string kind;  // call, callback or event
  std::string text;  // e.g. "PCAN_SetAccel(1, 5)", "StatusCallback(1, 0, [00 08], 0)"
  int result = 0;    // calls only
  double busMs = 0;  // calls only
  trace::Record record;
};

TraceEntry entryOf(const trace::Record& record);

// Lines that are no trace line (a write cut short as the program ended) are passed over.
std::vector<TraceEntry> parseTrace(const std::vector<std::string>& lines);
// The calls only, as "PCAN_SetAccel(1, 5)".
std::vector<std::string> callsIn(const std::vector<TraceEntry>& entries);
// The calls from the first one starting with `fromPrefix` on (all of them when none does).
std::vector<std::string> callsFrom(const std::vector<std::string>& calls,
                                   const std::string& fromPrefix);
size_t countStartingWith(const std::vector<std::string>& texts, const std::string& prefix);

}  // namespace halvane::e2e
