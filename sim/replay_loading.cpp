#include <fstream>
#include <sstream>

#include "sim/loaded_rig.h"
#include "trace/file_path.h"
#include "trace/ring_reader.h"
#include "trace/trace_writer.h"

namespace halvane::sim {

std::unique_ptr<ReplayRunner> loadReplay(const std::string& path, SimPlatform& platform,
                                         TraceSink* trace) {
  std::ifstream in(trace::nativeFilePath(path), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  trace::ReadResult read = trace::readAnyTrace(in ? text.str() : std::string());
  std::string problem = !in ? "cannot be read" : "";
  if (read.error && !read.error->cutOff) {
    // Replaying half a recording would report every later call as a divergence of its own.
    problem = trace::describe(*read.error);
    read.records.clear();
  }
  auto runner = std::make_unique<ReplayRunner>(ReplayScript(read.records), platform, trace);
  runner->traceEvent("replay node=- recording=" + trace::quoteValue(path) +
                     " records=" + std::to_string(read.records.size()) +
                     (problem.empty() ? "" : " problem=" + trace::quoteValue(problem)));
  return runner;
}

}  // namespace halvane::sim
