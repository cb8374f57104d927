#include "driver/sim_trace.h"

#include "trace/trace_reader.h"

namespace halvane::e2e {

TraceEntry entryOf(const trace::Record& record) {
  TraceEntry entry;
  entry.ms = static_cast<double>(record.timeUs) / 1000.0;
  entry.kind = std::string(trace::kindName(record.kind));
  switch (record.kind) {
    case trace::Kind::Call:
    case trace::Kind::Callback:
    case trace::Kind::InFlight:
      entry.text = record.signature();
      break;
    default: {
      const std::string body = trace::formatBody(record);
      entry.text = body.substr(std::min(body.size(), entry.kind.size() + 1));
    }
  }
  entry.result = record.result.value_or(0);
  entry.busMs = static_cast<double>(record.busUs.value_or(0)) / 1000.0;
  entry.record = record;
  return entry;
}

std::vector<TraceEntry> parseTrace(const std::vector<std::string>& lines) {
  std::vector<TraceEntry> entries;
  std::string error;
  for (const std::string& line : lines) {
    if (const auto record = trace::parseLine(line, error)) {
      entries.push_back(entryOf(*record));
    }
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
