// What the library sets up once, when it loads: the configuration from the environment, the trace
// file, and the runner (whose thread starts only with the first call).
#pragma once

#include <memory>

#include "sim/replay_runner.h"
#include "sim/rig_runner.h"
#include "sim/sim_config.h"

namespace halvane::sim {

struct LoadedRig {
  std::unique_ptr<TraceSink> trace;
  std::unique_ptr<RigRunner> runner;
  bool view = true;  // HALVANE_SIM_VIEW
  // Set when a recorded session answers the calls instead of the model.
  std::unique_ptr<ReplayRunner> replay;
};

// The trace starts with one "loaded" line naming the settings in force and one line per problem.
// A recorded session read for replay; one that cannot be read answers every call as a divergence,
// and the trace says why.
std::unique_ptr<ReplayRunner> loadReplay(const std::string& path, SimPlatform& platform,
                                         TraceSink* trace);

LoadedRig loadRig(const Environment& environment, SimPlatform& platform,
                  RigRunner::Threading threading);

}  // namespace halvane::sim
