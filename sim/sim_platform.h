// What the rig needs from its surroundings, behind seams so the runner can be driven by a fake
// clock in the tests: the time since the library loaded, waiting, sleeping out a call's bus time,
// thread ids, and the trace file.
#pragma once

#include <cstdint>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string_view>

#include "sim/bus_timing.h"
#include "trace/line_sink.h"

namespace halvane::sim {

class SimPlatform {
 public:
  virtual ~SimPlatform() = default;
  virtual Duration now() = 0;  // since the library loaded
  // Blocks the calling thread for its call's time on the bus.
  virtual void sleepFor(Duration duration) = 0;
  // The rig's thread waits for work or for `deadline` (nothing: no deadline).
  virtual void waitUntil(std::condition_variable& wake, std::unique_lock<std::mutex>& lock,
                         std::optional<Duration> deadline) = 0;
  virtual unsigned long threadId() = 0;
  // Where now() counts from on the machine's steady clock, in microseconds, so that a program
  // watching the trace can set its times against its own; nullopt where it means nothing.
  virtual std::optional<int64_t> clockOriginMicroseconds() const { return std::nullopt; }
};

using TraceSink = trace::LineSink;

}  // namespace halvane::sim
