// Where a trace's lines go: a file for the simulated library and the recording stand-in, memory in
// the tests. Every trace ends its lines the same way; readers take a bare "\n" as well.
#pragma once

#include <string_view>

namespace halvane::trace {

inline constexpr std::string_view kLineEnd = "\r\n";

class LineSink {
 public:
  virtual ~LineSink() = default;
  // One whole line without its line end, handed to the system before this returns.
  virtual void writeLine(std::string_view line) = 0;
  // The same while the process ends or crashes, when a thread that is gone may hold a lock.
  virtual void writeLineAtExit(std::string_view line) { writeLine(line); }
};

}  // namespace halvane::trace
