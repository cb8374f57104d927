// A trace's records in the order of their times. Lines come in the order they were written, and a
// call's line is written when the call returns, stamped with its start: a callback made while a
// call was in flight comes before the call in the file. Every reader that follows a session as it
// happened takes the records through this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <queue>
#include <vector>

#include "trace/trace_record.h"

namespace halvane::tools {

// A record with the trace line it was read from (1-based; of the tracer's ring file, the line
// `halvane-trace text` gives it), so that what is said of it can point there.
struct TraceLine : trace::Record {
  size_t line = 0;
};

// Time a call took: as measured by the caller, else its bus time.
int64_t callDuration(const trace::Record& record);

// Takes records in file order and hands them on in time order (of equal times, the earlier line
// first). A record is held until no later line can be stamped earlier: the longest call seen so far
// bounds how much earlier that can be.
class TimeOrder {
 public:
  using Take = std::function<void(const TraceLine&)>;
  explicit TimeOrder(Take take);

  void add(const trace::Record& record, size_t line);
  // The end of the trace: hands on every record still held.
  void finish();

 private:
  void takeUpTo(int64_t untilUs);

  struct LaterLine {
    bool operator()(const TraceLine& a, const TraceLine& b) const {
      return a.timeUs != b.timeUs ? a.timeUs > b.timeUs : a.line > b.line;
    }
  };
  Take take_;
  std::priority_queue<TraceLine, std::vector<TraceLine>, LaterLine> pending_;
  int64_t windowUs_ = 0;
  int64_t writtenUs_;
};

}  // namespace halvane::tools
