// Reads the simulated library's trace as it grows, from where the last read stopped, so that a long
// run never reads or parses the whole file again.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "trace/trace_reader.h"

namespace halvane::e2e {

class TraceFollower {
 public:
  explicit TraceFollower(std::wstring path) : path_(std::move(path)) {}
  ~TraceFollower();
  TraceFollower(const TraceFollower&) = delete;
  TraceFollower& operator=(const TraceFollower&) = delete;

  // Hands each record completed since the last call to `use`; returns how many came. A corrupt
  // line ends the reading; error() names it.
  size_t poll(const std::function<void(const trace::Record&)>& use);
  const std::optional<trace::ReadError>& error() const { return stream_.error(); }

 private:
  std::wstring path_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  trace::TraceStream stream_;  // holds a line not yet ended
};

}  // namespace halvane::e2e
