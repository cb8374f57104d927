// Which calls (or moves) of a kind a rule of the simulated rig applies to, and how its settings
// write that: "@N" only the Nth, "@N+" the Nth and later, "@%N" every Nth. Shared by the rig,
// which reads and writes its settings so, and the trace tool, whose profile of a library gives
// settings in the same notation.
#pragma once

#include <cstdint>
#include <string>

namespace halvane {

struct CallSelector {
  int64_t first = 1;
  bool onlyFirst = false;
  int64_t every = 0;  // above 0: every this many calls

  bool matches(int64_t count) const {
    if (every > 0) {
      return count % every == 0;
    }
    return onlyFirst ? count == first : count >= first;
  }
};

inline std::string selectorText(const CallSelector& selector) {
  if (selector.every > 0) {
    return "@%" + std::to_string(selector.every);
  }
  std::string text = "@";
  text += std::to_string(selector.first);
  if (!selector.onlyFirst) {
    text += '+';
  }
  return text;
}

}  // namespace halvane
