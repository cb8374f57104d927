// What the library sets up once, when it loads: the configuration from the environment, the trace
// file, and the runner (whose thread starts only with the first call).
#pragma once

#include <memory>

#include "sim/rig_runner.h"
#include "sim/sim_config.h"

namespace halvane::sim {

struct LoadedRig {
  std::unique_ptr<TraceSink> trace;
  std::unique_ptr<RigRunner> runner;
  bool view = true;  // HALVANE_SIM_VIEW
};

// The trace starts with one "loaded" line naming the settings in force and one line per problem.
LoadedRig loadRig(const Environment& environment, SimPlatform& platform,
                  RigRunner::Threading threading);

}  // namespace halvane::sim
