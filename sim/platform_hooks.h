// The few things that differ between Windows and the host build, one file per platform.
#pragma once

#include <memory>
#include <string>

#include "sim/bus_timing.h"
#include "sim/sim_config.h"
#include "sim/sim_platform.h"

namespace halvane::sim {

unsigned long currentThreadId();
// Makes the system's sleeps and timed waits about a millisecond fine (once, on first use).
void enablePreciseTimers();
// The process's environment as it is now.
std::unique_ptr<Environment> processEnvironment();

}  // namespace halvane::sim
