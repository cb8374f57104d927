// What the rig looks like at one moment, for a watcher (the view) that must never hold up a call or
// a callback: the rig's thread publishes a copy after each piece of work, and a reader takes a copy
// under a lock held only for the copy. A watcher that is idle asks to be woken by the next change.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "sim/request.h"
#include "sim/sim_config.h"

namespace halvane::sim {

class RigCore;

inline constexpr size_t kRecentCallCount = 5;

enum class ExtStopState { Off, Armed, Latched };

struct NodeSnapshot {
  double wheelDegrees = 0;
  int32_t position = 0;
  bool moving = false;
  double speed = 0;  // steps/s, as the controller counts them
  int microstep = 0;
  ExtStopState extStop = ExtStopState::Off;
  bool online = false;
  bool heldOffBus = false;  // never comes online until put back
  bool switchWorks = true;
  std::vector<std::string> recentCalls;  // oldest first: "PCAN_SetAccel(1, 5) -> 0"
};

struct RigSnapshot {
  uint64_t version = 0;  // 0: nothing published yet
  bool busOpen = false;
  int kbps = 0;
  std::array<NodeSnapshot, kNodeCount> nodes{};

  bool anyMoving() const;
};

// The last few calls made to each node, with their results.
class CallHistory {
 public:
  void record(const Request& request, const Answer& answer);
  const std::deque<std::string>& of(int node) const;

 private:
  std::array<std::deque<std::string>, kNodeCount> calls_;
};

RigSnapshot snapshotOf(const RigCore& core, const CallHistory& calls);

class SnapshotBoard {
 public:
  // Stores a copy (numbered one above the last) and wakes a watcher that asked.
  void publish(RigSnapshot snapshot);
  RigSnapshot read() const;
  // Called from the publishing thread; must return at once (post a message, set an event).
  void setWatcher(std::function<void()> wake);
  // The next publish calls the watcher once.
  void watchNext();

 private:
  mutable std::mutex mutex_;
  RigSnapshot current_;
  std::function<void()> wake_;
  bool watching_ = false;
};

}  // namespace halvane::sim
