// The simulated library's trace as the soak reads it: every entry so far, read as the file grows.
#pragma once

#include <string>
#include <vector>

#include "driver/sim_trace.h"
#include "driver/trace_follower.h"

namespace halvane::soak {

class TraceFollower {
 public:
  explicit TraceFollower(std::wstring path) : file_(std::move(path)) {}

  // Appends the lines completed since the last call to entries(); returns how many came.
  size_t poll() {
    return file_.poll([&](const trace::Record& r) { entries_.push_back(e2e::entryOf(r)); });
  }
  const std::optional<trace::ReadError>& error() const { return file_.error(); }
  const std::vector<e2e::TraceEntry>& entries() const { return entries_; }

 private:
  e2e::TraceFollower file_;
  std::vector<e2e::TraceEntry> entries_;
};

}  // namespace halvane::soak
