// A recorded session as the simulated library's answers: each call is answered from the recorded
// call it matches, and the recorded callbacks are due at their recorded delay after the call or
// callback that preceded them. Portable, with no clock of its own: times are passed in.
#pragma once

#include <cstdint>

#include <optional>
#include <string>
#include <vector>

#include "trace/trace_record.h"
#include "trace/wait_reads.h"

namespace halvane::sim {

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
  size_t unplayedCalls() const;
  size_t unplayedCallbacks() const;

 private:
  struct Step {
    trace::Record record;
    bool waitRead = false;
    bool played = false;
    std::optional<int64_t> dueUs;  // a callback whose predecessor has been played
    size_t anchor = kNone;         // the call or callback before it, for callbacks
    int64_t delayUs = 0;
  };
  static constexpr size_t kNone = static_cast<size_t>(-1);

  void play(size_t index, int64_t nowUs);
  std::optional<size_t> nearestWaitRead(const std::string& node, int64_t sinceStartUs) const;
  std::string nearestCalls(const std::string& name, const std::vector<std::string>& args) const;

  std::vector<Step> steps_;  // calls and callbacks in the order of their times
  trace::WaitReadTracker liveWaits_;
  // Per node (the first argument): the recorded move start last played and when it was played.
  struct MoveStart {
    size_t step = 0;
    int64_t playedUs = 0;
  };
  std::vector<std::pair<std::string, MoveStart>> moveStarts_;
  size_t divergences_ = 0;
  size_t cursor_ = 0;  // just after the last call played, for the nearest calls
};

}  // namespace halvane::sim
