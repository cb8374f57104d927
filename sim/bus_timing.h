// Time on the CAN bus: a call to a node is a request frame and an answer frame (111 bits each,
// 11-bit id, 8 data bytes, with intermission, no stuff bits); a node that does not answer costs the
// request and the answer timeout. Calls the adapter handles itself put nothing on the bus.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>

namespace halvane::sim {

using Duration = std::chrono::nanoseconds;

// Whole microseconds, as the trace writes times.
inline int64_t wholeMicroseconds(Duration time) {
  return std::chrono::duration_cast<std::chrono::microseconds>(time).count();
}

inline constexpr int kBitsPerFrame = 111;
inline constexpr std::array<int, 9> kBitRatesKbps = {10, 20, 50, 100, 125, 250, 500, 800, 1000};
inline constexpr Duration kAnswerTimeout = std::chrono::milliseconds(20);

enum class Traffic {
  None,        // handled by the adapter, or refused before anything was sent
  Answered,    // request and answer
  Unanswered,  // request, then the answer timeout
};

// kbit/s for PCAN_OpenPort's speed index, nothing for an index outside 0-8.
std::optional<int> bitRateForIndex(int speedIndex);

Duration frameTime(int bitRateKbps);
Duration busTime(Traffic traffic, int bitRateKbps);

}  // namespace halvane::sim
