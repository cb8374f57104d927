#include "tests/e2e/sim_trace.h"

#include <cstdlib>
#include <sstream>

namespace halvane::e2e {

std::vector<TraceEntry> parseTrace(const std::vector<std::string>& lines) {
  std::vector<TraceEntry> entries;
  for (const std::string& line : lines) {
    std::istringstream fields(line);
    TraceEntry entry;
    std::string thread;
    if (!(fields >> entry.ms >> thread >> entry.kind)) {
      continue;
    }
    std::string rest;
    std::getline(fields, rest);
    rest.erase(0, rest.find_first_not_of(' '));
    if (entry.kind == "call") {
      const size_t arrow = rest.find(" -> ");
      entry.text = rest.substr(0, arrow);
      if (arrow != std::string::npos) {
        entry.result = std::atoi(rest.c_str() + arrow + 4);
      }
      if (const size_t bus = rest.rfind("bus="); bus != std::string::npos) {
        entry.busMs = std::atof(rest.c_str() + bus + 4);
      }
    } else {
      entry.text = rest;
    }
    entries.push_back(entry);
  }
  return entries;
}

std::vector<std::string> callsIn(const std::vector<TraceEntry>& entries) {
  std::vector<std::string> calls;
  for (const TraceEntry& entry : entries) {
    if (entry.kind == "call") {
      calls.push_back(entry.text);
    }
  }
  return calls;
}

std::vector<std::string> callsFrom(const std::vector<std::string>& calls,
                                   const std::string& fromPrefix) {
  for (size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].rfind(fromPrefix, 0) == 0) {
      return {calls.begin() + static_cast<long>(i), calls.end()};
    }
  }
  return calls;
}

size_t countStartingWith(const std::vector<std::string>& texts, const std::string& prefix) {
  size_t count = 0;
  for (const std::string& text : texts) {
    count += text.rfind(prefix, 0) == 0 ? 1 : 0;
  }
  return count;
}

}  // namespace halvane::e2e
