// Two traces compared call for call and callback for callback, times and thread ids aside. Calls
// and callbacks come from different threads, so the calls are one sequence and each node's
// callbacks another.
#pragma once

#include <string>
#include <vector>

#include "trace/trace_record.h"

namespace halvane::tools {

struct DiffOptions {
  // Leave out the position reads a homing makes while it waits for rest.
  bool ignoreWaitReads = false;
  size_t contextLines = 3;
};

struct TraceDiff {
  bool same = true;
  // The first difference of each sequence that differs, in context: "  " both, "- " only the
  // first trace, "+ " only the second, each with its line in its trace.
  std::string report;
};

TraceDiff diffTraces(const std::vector<trace::Record>& first,
                     const std::vector<trace::Record>& second, const DiffOptions& options = {});

}  // namespace halvane::tools
