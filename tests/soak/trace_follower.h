// Reads the simulated library's trace as it grows, from where the last read stopped, so a long
// run never reads the whole file again.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "driver/sim_trace.h"
#include "trace/trace_reader.h"

namespace halvane::soak {

class TraceFollower {
 public:
  explicit TraceFollower(std::wstring path) : path_(std::move(path)) {}
  ~TraceFollower();
  TraceFollower(const TraceFollower&) = delete;
  TraceFollower& operator=(const TraceFollower&) = delete;

  // Appends the lines completed since the last call to entries(); returns how many came. A corrupt
  // line ends the reading; error() names it.
  size_t poll();
  const std::optional<trace::ReadError>& error() const { return stream_.error(); }
  const std::vector<e2e::TraceEntry>& entries() const { return entries_; }

 private:
  std::wstring path_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  trace::TraceStream stream_;  // holds a line not yet ended
  std::vector<e2e::TraceEntry> entries_;
};

}  // namespace halvane::soak
