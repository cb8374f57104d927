#include "tests/soak/move_allowance.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

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
  std::map<int, std::vector<int64_t>> asked;
  std::map<int, std::vector<int64_t>> given;
  for (const RequestedMove& move : moves) {
    asked[move.node].push_back(std::llabs(move.steps));
  }
  for (const MoveAllowance& allowance : allowances) {
    given[allowance.node].push_back(allowance.maxSteps);
  }
  // The moves fit their allowances exactly when, both sorted longest first, each move is within
  // the allowance of the same rank.
  for (auto& [node, steps] : asked) {
    auto& allowed = given[node];
    std::sort(steps.rbegin(), steps.rend());
    std::sort(allowed.rbegin(), allowed.rend());
    char text[200];
    for (size_t i = 0; i < steps.size(); ++i) {
      if (i >= allowed.size()) {
        std::snprintf(text, sizeof(text),
                      allowed.empty()
                          ? "turntable %d was asked to move %lld steps by no command of its own"
                          : "turntable %d was asked for one move more than it was given (%lld "
                            "steps)",
                      node, static_cast<long long>(steps[i]));
        problems.emplace_back(text);
      } else if (steps[i] > allowed[i]) {
        std::snprintf(text, sizeof(text),
                      "turntable %d was asked to move %lld steps, the window meant at most %lld",
                      node, static_cast<long long>(steps[i]), static_cast<long long>(allowed[i]));
        problems.emplace_back(text);
      }
    }
  }
  return problems;
}

}  // namespace halvane::soak
