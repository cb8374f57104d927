// Time on the CAN bus (common/can_bus_time.h): a node that does not answer costs the request and
// the answer timeout. Calls the adapter handles itself put nothing on the bus.
#pragma once

#include <chrono>
#include <cstdint>

#include "common/can_bus_time.h"

namespace halvane::sim {

using Duration = std::chrono::nanoseconds;

// Whole microseconds, as the trace writes times.
inline int64_t wholeMicroseconds(Duration time) {
  return std::chrono::duration_cast<std::chrono::microseconds>(time).count();
}

using can::bitRateForIndex;
using can::frameTime;
using can::kBitRatesKbps;
using can::kBitsPerFrame;
inline constexpr Duration kAnswerTimeout = std::chrono::milliseconds(20);

enum class Traffic {
  None,        // handled by the adapter, or refused before anything was sent
  Answered,    // request and answer
  Unanswered,  // request, then the answer timeout
};

Duration busTime(Traffic traffic, int bitRateKbps);

}  // namespace halvane::sim
