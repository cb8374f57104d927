#include "motion/rest_wait.h"

#include <algorithm>
#include <optional>

#include "motion/failure_texts.h"

namespace halvane {
namespace {

using Clock = std::chrono::steady_clock;

// What a position read shows about the wheel.
enum class Reading { First, Moved, Still, Unknown };

class RestWait {
 public:
  RestWait(MotionContext& context, CMotorAxis& axis, const RestWaitStart& start)
      : context_(context), timings_(context.homing), axis_(axis), start_(start) {}

  RestWaitResult run() {
    const MotionReports& reports = axis_.motionReports();
    const auto deadline = Clock::now() + restBound(timings_, start_.steps);
    uint64_t seen = start_.beforeStart.count;  // a report inside the start is checked at once
    auto nextRead = Clock::now();              // at once: where the move starts from
    for (;;) {
      const MotionReportMarks marks = reports.marks();
      const bool restReported = marks.lastRest > seen;
      seen = marks.count;
      if (restReported) {
        if (auto result = checkControlStatus()) {
          return *result;
        }
        if (!report_) {             // a check under way stands for the later reports too
          report_ = ReportCheck{};  // the position it is checked against is read next
          nextRead = Clock::now();
        }
      }
      auto now = Clock::now();
      if (now >= deadline) {
        return {RestWaitResult::Outcome::TimedOut};
      }
      if (now >= nextRead) {
        const Reading reading = readPosition(now);
        nextRead = now + timings_.positionPollInterval;
        if (report_ && report_->position && report_->readAt + timings_.restConfirmGap > now) {
          nextRead = std::min(nextRead, report_->readAt + timings_.restConfirmGap);
        }
        // Nothing shows the wheel turning: ask the controller whether the switch stopped it.
        if (reading == Reading::Still || reading == Reading::Unknown) {
          if (auto result = checkControlStatus()) {
            return *result;
          }
        }
        now = Clock::now();
      }
      const auto wake = std::min(nextRead, deadline);
      reports.waitForReportAfter(seen, std::chrono::ceil<std::chrono::milliseconds>(wake - now));
    }
  }

 private:
  // A rest report is checked against the position read right after it: it stands only while
  // later reads find the same position.
  struct ReportCheck {
    std::optional<int> position;
    Clock::time_point readAt;
  };

  Reading readPosition(Clock::time_point now) {
    int position = 0;
    if (context_.link.PCAN_GetMotorPos(axis_.nodeId(), &position) != CallOutcome::Done) {
      return Reading::Unknown;  // a missing export leaves 0 there, which says nothing
    }
    const bool first = !lastPosition_;
    const bool moved = !first && position != *lastPosition_;
    if (first || moved) {
      stillSince_ = now;
    }
    positionChanged_ = positionChanged_ || moved;
    lastPosition_ = position;
    lastReadAt_ = now;
    if (report_ && !report_->position) {
      report_->position = position;
      report_->readAt = now;
    } else if (report_ && position != *report_->position) {
      report_.reset();  // the wheel turned after the report: it was from before the move
    }
    return first ? Reading::First : moved ? Reading::Moved : Reading::Still;
  }

  // Only a position seen to change can be trusted to stand still: a read that lags, updates only
  // at rest or never writes its value looks the same as a wheel at rest until it moves.
  bool positionShowsRest() const {
    if (!positionChanged_) {
      return false;
    }
    if (report_ && report_->position && lastReadAt_ - report_->readAt >= timings_.restConfirmGap) {
      return true;
    }
    return lastReadAt_ - stillSince_ >= timings_.stillForRest;
  }

  std::optional<RestWaitResult> checkControlStatus() {
    int status = 0;
    const CallOutcome outcome = context_.link.PCAN_GetControlStatus(axis_.nodeId(), &status);
    if (outcome == CallOutcome::Failed) {
      context_.alerts.alert(texts::kGetControlStatusFail);
      return RestWaitResult{RestWaitResult::Outcome::Failed};
    }
    const bool stoppedBySwitch = outcome == CallOutcome::Done && start_.stopFlagCleared &&
                                 (status & kControlStoppedBySwitch) != 0;
    if (stoppedBySwitch || positionShowsRest()) {
      axis_.idleEvent().set();  // also when the report came before the event was reset, or never
      return RestWaitResult{RestWaitResult::Outcome::Rest, status};
    }
    return std::nullopt;
  }

  MotionContext& context_;
  const HomingTimings& timings_;
  CMotorAxis& axis_;
  const RestWaitStart start_;
  std::optional<int> lastPosition_;
  bool positionChanged_ = false;
  Clock::time_point stillSince_;
  Clock::time_point lastReadAt_;
  std::optional<ReportCheck> report_;
};

}  // namespace

std::chrono::milliseconds restBound(const HomingTimings& timings, int32_t steps) {
  const auto fromMove = std::chrono::milliseconds(
      static_cast<int64_t>(timings.boundPerStepMs * static_cast<double>(std::max(steps, 0))));
  return std::max(timings.minimumBound, fromMove);
}

RestWaitResult waitForRest(MotionContext& context, CMotorAxis& axis, const RestWaitStart& start) {
  return RestWait(context, axis, start).run();
}

}  // namespace halvane
