// Status reports held back to reach the library's callback later than they happen, as some
// libraries' threads deliver them: those a call causes then arrive after the call has returned.
#pragma once

#include <deque>
#include <optional>
#include <utility>

#include "sim/outbox.h"

namespace halvane::sim {

class DelayedReports {
 public:
  // None: nothing is held back.
  explicit DelayedReports(std::optional<Duration> delay) : delay_(delay) {}

  // Takes the status reports from `out` (from index `first` on), due `delay` after `from`.
  void holdBack(Outbox& out, size_t first, Duration from);
  // Appends the reports due by `now`, in the order they happened.
  void takeDue(Duration now, Outbox& out);
  std::optional<Duration> nextDue() const;

 private:
  std::optional<Duration> delay_;
  std::deque<std::pair<Duration, OutItem>> held_;  // in the order they are due
};

// The earlier of two wake times, either of which may be none.
std::optional<Duration> earliest(std::optional<Duration> a, std::optional<Duration> b);

}  // namespace halvane::sim
