// How far a command may turn a wheel, from what the window showed when it was clicked, and the
// check of the moves the simulated library was asked for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace halvane::soak {

struct MoveAllowance {
  int node = 0;
  int64_t maxSteps = 0;  // |steps| may be at most this
};

// A rotation by the typed angle (negative angles turn nothing).
MoveAllowance rotationAllowance(int node, int64_t angle, int64_t microstep);
// A slot move: less than one revolution.
MoveAllowance slotAllowance(int node, int64_t microstep);
// A homing move: one and a half revolutions.
MoveAllowance homingAllowance(int node, int64_t microstep);

struct RequestedMove {
  int node = 0;
  int64_t steps = 0;
};

// "PCAN_StartRelStep(2, 1600)" -> {2, 1600}; nullopt for any other call.
std::optional<RequestedMove> requestedMove(const std::string& call);

// What is wrong with the moves one action led to: a move on a turntable no allowance names, more
// moves than allowances, or a move further than allowed. Empty when all is well.
std::vector<std::string> checkMoves(const std::vector<RequestedMove>& moves,
                                    const std::vector<MoveAllowance>& allowances);

}  // namespace halvane::soak
