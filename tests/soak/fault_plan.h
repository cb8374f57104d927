// The faults a soak run injects into the simulated rig, drawn from its seed: single failures of
// the exports the commands use, and lost rest reports, spread over the run.
#pragma once

#include <random>
#include <string>

namespace halvane::soak {

struct FaultPlan {
  std::wstring failures;   // HALVANE_SIM_FAIL
  std::wstring lostRests;  // HALVANE_SIM_LOSE_REST
};

FaultPlan drawFaultPlan(int actions, std::mt19937& random);

}  // namespace halvane::soak
