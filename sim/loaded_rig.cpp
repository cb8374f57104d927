#include "sim/loaded_rig.h"

#include <cstdio>

#include "trace/trace_file.h"
#include "trace/trace_writer.h"

namespace halvane::sim {
namespace {

std::string quoted(const std::string& text) {
  return trace::quoteValue(text);
}

}  // namespace

LoadedRig loadRig(const Environment& environment, SimPlatform& platform,
                  RigRunner::Threading threading) {
  ParsedConfig parsed = parseConfig(environment);
  LoadedRig rig;
  std::string traceError;
  if (!parsed.config.tracePath.empty()) {
    rig.trace = trace::TraceFile::create(parsed.config.tracePath, traceError);
    if (!rig.trace) {
      std::fprintf(stderr, "PUSICANControl.dll (simulated rig): cannot write the trace %s: %s\n",
                   parsed.config.tracePath.c_str(), traceError.c_str());
    }
  }
  rig.view = parsed.config.view;
  rig.runner = std::make_unique<RigRunner>(parsed.config, platform, rig.trace.get(), threading);
  std::string loaded = "loaded node=- " + describeConfig(parsed.config);
  if (const auto origin = platform.clockOriginMicroseconds()) {
    loaded += " clock_origin_us=" + std::to_string(*origin);
  }
  rig.runner->traceEvent(loaded);
  for (const ConfigProblem& problem : parsed.problems) {
    rig.runner->traceEvent("config node=- variable=" + problem.variable + " value=" +
                           quoted(problem.value) + " problem=" + quoted(problem.reason));
  }
  if (!parsed.config.replayPath.empty()) {
    rig.replay = loadReplay(parsed.config.replayPath, platform, rig.trace.get());
  }
  return rig;
}

}  // namespace halvane::sim
