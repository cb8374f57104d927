// Reading the simulated library's trace: what reached the controllers, in order.
#pragma once

#include <string>
#include <vector>

namespace halvane::e2e {

struct TraceEntry {
  double ms = 0;     // since the library loaded
  std::string kind;  // call, callback or event
  std::string text;  // e.g. "PCAN_SetAccel(1, 5)", "StatusCallback(1, 0, [00 08], 0)"
  int result = 0;    // calls only
  double busMs = 0;  // calls only
};

std::vector<TraceEntry> parseTrace(const std::vector<std::string>& lines);
// The calls only, as "PCAN_SetAccel(1, 5)".
std::vector<std::string> callsIn(const std::vector<TraceEntry>& entries);
// The calls from the first one starting with `fromPrefix` on (all of them when none does).
std::vector<std::string> callsFrom(const std::vector<std::string>& calls,
                                   const std::string& fromPrefix);
size_t countStartingWith(const std::vector<std::string>& texts, const std::string& prefix);

}  // namespace halvane::e2e
