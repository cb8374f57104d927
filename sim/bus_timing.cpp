#include "sim/bus_timing.h"

namespace halvane::sim {

Duration busTime(Traffic traffic, int bitRateKbps) {
  switch (traffic) {
    case Traffic::None:
      return Duration::zero();
    case Traffic::Answered:
      return can::requestAndAnswerTime(bitRateKbps);
    case Traffic::Unanswered:
      return frameTime(bitRateKbps) + kAnswerTimeout;
  }
  return Duration::zero();
}

}  // namespace halvane::sim
