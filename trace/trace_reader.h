// Reading traces: any text in, records or a clear error naming the line out; never a crash.
#pragma once

#include <cstddef>

#include "trace/trace_record.h"

namespace halvane::trace {

struct ReadError {
  size_t line = 0;  // 1-based
  std::string message;
  // The trace ends without a whole last line: its writer was stopped, or the machine lost power
  // while the file was being written (the system then fills the unwritten end with NUL bytes).
  bool cutOff = false;
};

// One line without its newline; nothing and `error` (the line's own fault) when it is no line.
std::optional<Record> parseLine(std::string_view line, std::string& error);

// A trace as it grows: complete lines are parsed as they come; reading stops at the first corrupt
// line.
class TraceStream {
 public:
  // Appends bytes; returns the records of the lines they completed.
  std::vector<Record> append(std::string_view bytes);
  // The end of the input: a line not ended is reported as cut off.
  void finish();
  const std::optional<ReadError>& error() const { return error_; }

 private:
  std::optional<Record> take(std::string_view line);
  // The first NUL byte ends the trace.
  void endAtNul();

  std::string partial_;
  size_t lineNumber_ = 0;
  std::optional<ReadError> error_;
};

struct ReadResult {
  std::vector<Record> records;  // every line before the first fault
  std::optional<ReadError> error;
};

ReadResult readTrace(std::string_view text);
std::string describe(const ReadError& error);

}  // namespace halvane::trace
