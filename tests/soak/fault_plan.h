// The faults a soak run injects into the simulated rig, drawn from its seed: single failures of
// the exports the commands use, lost rest reports and starts that come with a rest report from
// before the move, spread over the run, and every Nth read of the position or the stop flag on one
// node; and how the library reports: periodic status reports, a position read that lags the wheel
// or is refreshed only now and then, one node's position read that changes only at rest, one
// node's that wavers by a count, and status reports delivered a few milliseconds late (a start's,
// stale rest included, after it returns).
#pragma once

#include <random>
#include <string>

namespace halvane::soak {

struct FaultPlan {
  std::wstring failures;       // HALVANE_SIM_FAIL
  std::wstring lostRests;      // HALVANE_SIM_LOSE_REST
  std::wstring staleRests;     // HALVANE_SIM_STALE_REST
  int statusPeriodMs = 0;      // HALVANE_SIM_STATUS_PERIOD_MS
  int positionLagMs = 0;       // HALVANE_SIM_POSITION_LAG_MS
  int positionAtRestNode = 0;  // HALVANE_SIM_POSITION_AT_REST
  int positionRefreshMs = 0;   // HALVANE_SIM_POSITION_REFRESH_MS
  int positionWaverNode = 0;   // HALVANE_SIM_POSITION_WAVER, 0: none
  int reportDelayMs = 0;       // HALVANE_SIM_REPORT_DELAY_MS
};

FaultPlan drawFaultPlan(int actions, std::mt19937& random);

// The library as a lab's trace measured it: each of the plan's settings that the soak's own
// environment sets (scripts/soak --settings) takes the place of its draw, so the checks expect
// what the rig will do. False, naming it in `problem`, for a value the soak cannot follow.
bool takeMeasuredLibrary(FaultPlan& plan, std::wstring& problem);

}  // namespace halvane::soak
