#include "motion/rest_wait.h"

#include <algorithm>
#include <cstdlib>
#include <deque>

namespace halvane {
namespace {

using Clock = std::chrono::steady_clock;

// A change of this many counts or fewer is an encoder wavering at rest, not motion: a turning
// wheel travels far more between two reads.
constexpr int kWaveringCounts = 2;
constexpr size_t kStatusReadsPerWindow = 4;
constexpr int kPollsPerWindow = 4;

// The position reads of one move as runs of standing still. The read from before the start opens
// the first run, so a move that has already ended at the first read after the start still shows
// as a change.
class PositionRuns {
 public:
  void add(int position, Clock::time_point at) {
    if (!runValue_) {
      open(position, at);
      return;
    }
    if (std::abs(position - *runValue_) > kWaveringCounts) {
      // A run between two changes stood still while the wheel turned: a lagging position shows
      // its own refresh period this way. The first run may include the start itself.
      if (changed_) {
        longestStillWhileTurning_ = std::max(longestStillWhileTurning_, lastAt_ - runStart_);
      }
      changed_ = true;
      lastChangeAt_ = at;
      open(position, at);
      return;
    }
    lastAt_ = at;
  }

  bool changed() const { return changed_; }
  bool known() const { return runValue_.has_value(); }
  Clock::time_point lastChangeAt() const { return lastChangeAt_; }
  Clock::duration stillFor() const { return lastAt_ - runStart_; }
  Clock::duration longestStillWhileTurning() const { return longestStillWhileTurning_; }

 private:
  void open(int position, Clock::time_point at) {
    runValue_ = position;
    runStart_ = at;
    lastAt_ = at;
  }

  std::optional<int> runValue_;
  Clock::time_point runStart_;
  Clock::time_point lastAt_;
  Clock::time_point lastChangeAt_;
  bool changed_ = false;
  Clock::duration longestStillWhileTurning_{};
};

class RestWait {
 public:
  RestWait(MotionContext& context, CMotorAxis& axis, const RestWaitStart& start)
      : context_(context), timings_(context.homing), axis_(axis), start_(start) {
    nothingStarted_ = start.steps == 0;
    statusProvesRest_ = start.stopFlagCleared;
    if (start.positionBefore) {
      runs_.add(*start.positionBefore, Clock::now());
    }
  }

  RestWaitOutcome run() {
    const MotionReports& reports = axis_.motionReports();
    const auto begun = Clock::now();
    const auto deadline = begun + restBound(timings_, start_.steps);
    uint64_t seen = start_.beforeStart.count;  // a report inside the start is looked at at once
    nextPositionRead_ = begun;
    // A start of no steps turns nothing: its evidence is taken at once.
    nextStatusRead_ = nothingStarted_ ? begun : begun + timings_.statusPollInterval;
    for (;;) {
      const MotionReportMarks marks = reports.marks();
      auto now = Clock::now();
      if (marks.lastRest > seen) {
        restReportedAt_ = now;
        // At once, unless the node repeats its reports so often that the reads would crowd the bus.
        nextStatusRead_ = std::min(nextStatusRead_, std::max(now, statusReadAllowedAt()));
      }
      seen = marks.count;
      if (now >= deadline) {
        return RestWaitOutcome::TimedOut;
      }
      if (statusProvesRest_ && now >= nextStatusRead_) {
        if (readStatusShowsSwitchStop()) {
          return concludeRest();
        }
      }
      if (positionReadable_ && Clock::now() >= nextPositionRead_) {
        readPosition();
        if (positionShowsRest()) {
          return concludeRest();
        }
      }
      now = Clock::now();
      auto wake = std::min(deadline, positionReadable_ ? nextPositionRead_ : deadline);
      if (statusProvesRest_) {
        wake = std::min(wake, nextStatusRead_);
      }
      reports.waitForReportAfter(
          seen, std::max(std::chrono::milliseconds(0),
                         std::chrono::ceil<std::chrono::milliseconds>(wake - now)));
    }
  }

 private:
  std::chrono::milliseconds poll() const { return timings_.positionPollInterval; }

  RestWaitOutcome concludeRest() {
    axis_.idleEvent().set();  // also when the report came before the event was reset, or never
    return RestWaitOutcome::Rest;
  }

  // At most kStatusReadsPerWindow status reads in any span of four polls (a second), so with the
  // position read once a poll the wait never makes more than eight reads a second.
  Clock::time_point statusReadAllowedAt() const {
    if (statusReads_.size() < kStatusReadsPerWindow) {
      return Clock::time_point::min();
    }
    return statusReads_.front() + kPollsPerWindow * poll();
  }

  // A failed read settles nothing: the wait goes on. Without the export bit 0 is never set, so
  // it is no longer asked. Reads are timed from their end, so their spacing holds on the bus.
  bool readStatusShowsSwitchStop() {
    int status = 0;
    const CallOutcome outcome = context_.link.PCAN_GetControlStatus(axis_.nodeId(), &status);
    const auto now = Clock::now();
    statusReads_.push_back(now);
    if (statusReads_.size() > kStatusReadsPerWindow) {
      statusReads_.pop_front();
    }
    nextStatusRead_ = std::max(now + timings_.statusPollInterval, statusReadAllowedAt());
    statusProvesRest_ = outcome != CallOutcome::Skipped;
    return outcome == CallOutcome::Done && (status & kControlStoppedBySwitch) != 0;
  }

  void readPosition() {
    int position = 0;
    const CallOutcome outcome = context_.link.PCAN_GetMotorPos(axis_.nodeId(), &position);
    const auto now = Clock::now();
    nextPositionRead_ = now + poll();
    // A missing export leaves 0 there, which says nothing.
    positionReadable_ = outcome != CallOutcome::Skipped;
    if (outcome != CallOutcome::Done) {
      return;
    }
    runs_.add(position, now);
    // The wheel turned after the report: it was read from the node before the move.
    if (restReportedAt_ && runs_.changed() && runs_.lastChangeAt() >= *restReportedAt_) {
      restReportedAt_.reset();
    }
  }

  // Standing still proves rest only when it lasts longer than any stillness this move showed
  // while it turned, and never less than two polls after a rest report (a position the library
  // refreshes every few hundred milliseconds repeats for less), or a second without one. A
  // position never seen to change proves nothing: it may ignore the move.
  bool positionShowsRest() const {
    Clock::duration needed = timings_.stillForRest;
    if (nothingStarted_) {
      needed = poll();
    } else if (!runs_.changed()) {
      return false;
    } else if (restReportedAt_) {
      needed = 2 * poll();
    }
    const Clock::duration still = runs_.stillFor();
    return still >= needed && still > runs_.longestStillWhileTurning();
  }

  MotionContext& context_;
  const HomingTimings& timings_;
  CMotorAxis& axis_;
  const RestWaitStart start_;
  bool nothingStarted_ = false;
  bool statusProvesRest_ = false;
  bool positionReadable_ = true;
  PositionRuns runs_;
  std::optional<Clock::time_point> restReportedAt_;
  Clock::time_point nextPositionRead_;
  Clock::time_point nextStatusRead_;
  std::deque<Clock::time_point> statusReads_;  // the latest, oldest first
};

}  // namespace

RestWaitStart restWaitStart(MotionContext& context, CMotorAxis& axis, int32_t steps,
                            bool stopFlagCleared) {
  RestWaitStart start{axis.motionReports().marks(), std::nullopt, steps, stopFlagCleared};
  int position = 0;
  if (context.link.PCAN_GetMotorPos(axis.nodeId(), &position) == CallOutcome::Done) {
    start.positionBefore = position;
  }
  return start;
}

std::chrono::milliseconds restBound(const HomingTimings& timings, int32_t steps) {
  const auto fromMove = std::chrono::milliseconds(
      static_cast<int64_t>(timings.boundPerStepMs * static_cast<double>(std::max(steps, 0))));
  return std::max(timings.minimumBound, fromMove);
}

RestWaitOutcome waitForRest(MotionContext& context, CMotorAxis& axis, const RestWaitStart& start) {
  return RestWait(context, axis, start).run();
}

}  // namespace halvane
