// The CAN bus's own time for the library's traffic: a call to a node is a request frame and an
// answer frame, 111 bits each (11-bit id, 8 data bytes, with intermission, no stuff bits), at the
// bit rate chosen by the bus-speed index PCAN_OpenPort is given. Shared by the simulated rig, which
// keeps its bus to this time, and the trace tool, which sets the calls' times against it.
#pragma once

#include <array>
#include <chrono>
#include <optional>

namespace halvane::can {

inline constexpr int kBitsPerFrame = 111;
// kbit/s, in the order of the bus-speed index.
inline constexpr std::array<int, 9> kBitRatesKbps = {10, 20, 50, 100, 125, 250, 500, 800, 1000};

// kbit/s for PCAN_OpenPort's speed index, nothing for an index outside 0-8.
inline std::optional<int> bitRateForIndex(int speedIndex) {
  if (speedIndex < 0 || speedIndex >= static_cast<int>(kBitRatesKbps.size())) {
    return std::nullopt;
  }
  return kBitRatesKbps[static_cast<size_t>(speedIndex)];
}

inline std::chrono::nanoseconds frameTime(int bitRateKbps) {
  if (bitRateKbps <= 0) {
    return std::chrono::nanoseconds::zero();
  }
  // bits / (kbit/s) = ms; in ns that is exact for every rate of the table.
  return std::chrono::nanoseconds(static_cast<std::chrono::nanoseconds::rep>(kBitsPerFrame) *
                                  1000000 / bitRateKbps);
}

// A request and its answer.
inline std::chrono::nanoseconds requestAndAnswerTime(int bitRateKbps) {
  return 2 * frameTime(bitRateKbps);
}

}  // namespace halvane::can
