// The faults a soak run injects into the simulated rig, drawn from its seed: single failures of
// the exports the commands use, lost rest reports and starts that come with a rest report from
// before the move, spread over the run; and how the library reports: periodic status reports and a
// position read that lags the wheel.
#pragma once

#include <random>
#include <string>

namespace halvane::soak {

struct FaultPlan {
  std::wstring failures;    // HALVANE_SIM_FAIL
  std::wstring lostRests;   // HALVANE_SIM_LOSE_REST
  std::wstring staleRests;  // HALVANE_SIM_STALE_REST
  int statusPeriodMs = 0;   // HALVANE_SIM_STATUS_PERIOD_MS
  int positionLagMs = 0;    // HALVANE_SIM_POSITION_LAG_MS
};

FaultPlan drawFaultPlan(int actions, std::mt19937& random);

}  // namespace halvane::soak
