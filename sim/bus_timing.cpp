#include "sim/bus_timing.h"

namespace halvane::sim {

std::optional<int> bitRateForIndex(int speedIndex) {
  if (speedIndex < 0 || speedIndex >= static_cast<int>(kBitRatesKbps.size())) {
    return std::nullopt;
  }
  return kBitRatesKbps[static_cast<size_t>(speedIndex)];
}

Duration frameTime(int bitRateKbps) {
  if (bitRateKbps <= 0) {
    return Duration::zero();
  }
  // bits / (kbit/s) = ms; in ns that is exact for every rate of the table.
  return Duration(static_cast<Duration::rep>(kBitsPerFrame) * 1000000 / bitRateKbps);
}

Duration busTime(Traffic traffic, int bitRateKbps) {
  switch (traffic) {
    case Traffic::None:
      return Duration::zero();
    case Traffic::Answered:
      return 2 * frameTime(bitRateKbps);
    case Traffic::Unanswered:
      return frameTime(bitRateKbps) + kAnswerTimeout;
  }
  return Duration::zero();
}

}  // namespace halvane::sim
