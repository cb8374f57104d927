// A recorded session as the simulated library's answers: each call is answered from the recorded
// call it matches, and the recorded callbacks are due at their recorded delay after the call or
// callback that preceded them. Portable, with no clock of its own: times are passed in. Each
// answer and each due callback costs a lookup, not a scan, so a recording of the tracer's largest
// size replays at the pace it was recorded.
#pragma once

#include <cstdint>

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <queue>
#include <string>
#include <vector>

#include "trace/trace_record.h"
#include "trace/wait_reads.h"

namespace halvane::sim {

// Recorded times beyond these are no session we can replay (a clock jump, a corrupt line): they
// are replayed as these, never as days of sleep or a deadline that overflows.
inline constexpr int64_t kMaxReplayedCallUs = 30'000'000;
inline constexpr int64_t kMaxReplayedDelayUs = 600'000'000;

struct ReplayAnswer {
  int result = 0;
  std::optional<int> out;
  int64_t tookUs = 0;  // the recorded call's time on the bus, or its duration
  bool missing = false;
};

// A call the recording cannot answer.
struct Divergence {
  std::string call;     // "PCAN_SetDir(2, 0)"
  std::string nearest;  // the nearest recorded calls, and which fields differ from each
  // A recording cut off before the window's end, with every recorded call played: the program
  // goes on where the recording stops, which is no difference from it.
  bool pastRecordingEnd = false;
};

struct DueCallback {
  std::string name;  // OnlineCallback, StatusCallback, SpareCallback
  std::vector<std::string> args;
};

class ReplayScript {
 public:
  explicit ReplayScript(const std::vector<trace::Record>& records);

  // Answers one call made at `nowUs`; a divergence when the recording has no call to answer it.
  std::optional<ReplayAnswer> answer(const std::string& name, const std::vector<std::string>& args,
                                     int64_t nowUs, Divergence& divergence);

  // When the next callback is due; nothing while none is.
  std::optional<int64_t> nextDueUs() const;
  // The callbacks due by `nowUs`, in recorded order, taken as fired at `nowUs`.
  std::vector<DueCallback> takeDue(int64_t nowUs);

  size_t divergences() const { return divergences_; }
  size_t callsPastEnd() const { return callsPastEnd_; }
  size_t unplayedCalls() const;
  size_t unplayedCallbacks() const;

 private:
  struct Step {
    trace::Record record;
    bool waitRead = false;
    bool played = false;
    int64_t delayUs = 0;  // after the step it is timed from, for callbacks
  };
  // A read of the recording, for the nearest-in-time lookup.
  struct Read {
    int64_t timeUs = 0;
    size_t step = 0;
  };
  using Due = std::pair<int64_t, size_t>;  // time, step

  void play(size_t index, int64_t nowUs);
  static std::optional<size_t> nearest(const std::vector<Read>& reads, int64_t recordedUs);
  std::optional<size_t> waitRead(const std::string& name, const std::string& node,
                                 int64_t nowUs) const;
  std::string nearestCalls(const std::string& name, const std::vector<std::string>& args) const;

  std::vector<Step> steps_;                     // calls and callbacks in the order of their times
  std::vector<std::vector<size_t>> timedFrom_;  // per step: the callbacks timed from it
  // Unplayed calls (a wait's reads aside) by signature, in recorded order.
  std::map<std::string, std::deque<size_t>> unplayed_;
  // Per export read for evidence and node (the first argument): every read, and per move start
  // and export the reads of its wait.
  std::map<std::pair<std::string, std::string>, std::vector<Read>> readsOfNode_;
  std::map<std::pair<size_t, std::string>, std::vector<Read>> readsOfWait_;
  std::priority_queue<Due, std::vector<Due>, std::greater<>> due_;
  trace::WaitReadTracker liveWaits_;
  // Per node: the recorded move start last played and when it was played.
  struct MoveStart {
    size_t step = 0;
    int64_t playedUs = 0;
  };
  std::map<std::string, MoveStart> moveStarts_;
  size_t divergences_ = 0;
  bool cutOff_ = false;   // no window's end recorded
  size_t callsLeft_ = 0;  // recorded calls not yet played, a wait's reads aside
  size_t callsPastEnd_ = 0;
  size_t cursor_ = 0;  // just after the last call played, for the nearest calls
};

}  // namespace halvane::sim
