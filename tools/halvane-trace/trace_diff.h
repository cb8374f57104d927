// Two traces compared call for call and callback for callback, times and thread ids aside. Calls
// and callbacks come from different threads, so the calls are one sequence and each node's
// callbacks another.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/halvane-trace/record_cursor.h"
#include "trace/trace_record.h"

namespace halvane::tools {

struct DiffOptions {
  // Leave out the position reads a homing makes while it waits for rest.
  bool ignoreWaitReads = false;
  size_t contextLines = 3;
  // The first trace is a recording cut off before the window's end: what the second holds past
  // its end is not compared.
  bool firstCutOff = false;
};

struct TraceDiff {
  bool same = true;
  // The first difference of each sequence that differs, in context: "  " both, "- " only the
  // first trace, "+ " only the second, each with its line in its trace.
  std::string report;
  // With `firstCutOff`: the calls and callbacks of the second trace past the first's end.
  size_t pastFirstEnd = 0;
};

// Opens a trace afresh from its start: each sequence is compared in a read of its own, so that
// the memory a comparison takes does not grow with the traces.
using TraceOpener = std::function<std::unique_ptr<RecordCursor>()>;

TraceDiff diffTraces(const TraceOpener& first, const TraceOpener& second,
                     const DiffOptions& options = {});
TraceDiff diffTraces(const std::vector<trace::Record>& first,
                     const std::vector<trace::Record>& second, const DiffOptions& options = {});

}  // namespace halvane::tools
