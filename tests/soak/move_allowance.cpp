#include "tests/soak/move_allowance.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace halvane::soak {
namespace {

constexpr int64_t kFullStepsPerRevolution = 200;

}  // namespace

MoveAllowance rotationAllowance(int node, int64_t angle, int64_t microstep) {
  return {node, std::max<int64_t>(angle, 0) * microstep * kFullStepsPerRevolution / 360};
}

MoveAllowance slotAllowance(int node, int64_t microstep) {
  return {node, std::max<int64_t>(microstep * kFullStepsPerRevolution - 1, 0)};
}

MoveAllowance homingAllowance(int node, int64_t microstep) {
  return {node, microstep * 300};
}

std::optional<RequestedMove> requestedMove(const std::string& call) {
  constexpr char kPrefix[] = "PCAN_StartRelStep(";
  if (call.rfind(kPrefix, 0) != 0) {
    return std::nullopt;
  }
  const char* at = call.c_str() + sizeof(kPrefix) - 1;
  char* end = nullptr;
  const long node = std::strtol(at, &end, 10);
  if (end == at || *end != ',') {
    return std::nullopt;
  }
  const long long steps = std::strtoll(end + 1, nullptr, 10);
  return RequestedMove{static_cast<int>(node), steps};
}

std::vector<std::string> checkMoves(const std::vector<RequestedMove>& moves,
                                    const std::vector<MoveAllowance>& allowances) {
  std::vector<std::string> problems;
  std::vector<bool> used(allowances.size(), false);
  for (const RequestedMove& move : moves) {
    // The widest unused allowance of that turntable covers the move, if any does.
    int best = -1;
    bool anyForNode = false;
    for (size_t i = 0; i < allowances.size(); ++i) {
      if (allowances[i].node != move.node) {
        continue;
      }
      anyForNode = true;
      if (!used[i] &&
          (best < 0 || allowances[i].maxSteps > allowances[static_cast<size_t>(best)].maxSteps)) {
        best = static_cast<int>(i);
      }
    }
    char text[200];
    if (!anyForNode) {
      std::snprintf(text, sizeof(text),
                    "turntable %d was asked to move %lld steps by no command of its own", move.node,
                    static_cast<long long>(move.steps));
      problems.emplace_back(text);
      continue;
    }
    if (best < 0) {
      std::snprintf(text, sizeof(text),
                    "turntable %d was asked for one move more than it was given (%lld steps)",
                    move.node, static_cast<long long>(move.steps));
      problems.emplace_back(text);
      continue;
    }
    used[static_cast<size_t>(best)] = true;
    const int64_t allowed = allowances[static_cast<size_t>(best)].maxSteps;
    if (std::llabs(move.steps) > allowed) {
      std::snprintf(text, sizeof(text),
                    "turntable %d was asked to move %lld steps, the window meant at most %lld",
                    move.node, static_cast<long long>(move.steps), static_cast<long long>(allowed));
      problems.emplace_back(text);
    }
  }
  return problems;
}

}  // namespace halvane::soak
