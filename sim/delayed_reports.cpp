#include "sim/delayed_reports.h"

#include <algorithm>

namespace halvane::sim {

void DelayedReports::holdBack(Outbox& out, size_t first, Duration from) {
  if (!delay_) {
    return;
  }
  const auto isReport = [](const OutItem& item) {
    return item.kind == OutItem::Kind::StatusReport;
  };
  const auto begin = out.begin() + static_cast<std::ptrdiff_t>(std::min(first, out.size()));
  for (auto it = begin; it != out.end(); ++it) {
    if (isReport(*it)) {
      // Reports of a later call may be due before those of an earlier one with a longer bus time.
      const Duration due = from + *delay_;
      const auto at = std::upper_bound(held_.begin(), held_.end(), due,
                                       [](Duration d, const auto& held) { return d < held.first; });
      held_.insert(at, {due, *it});
    }
  }
  out.erase(std::remove_if(begin, out.end(), isReport), out.end());
}

void DelayedReports::takeDue(Duration now, Outbox& out) {
  while (!held_.empty() && held_.front().first <= now) {
    out.push_back(std::move(held_.front().second));
    held_.pop_front();
  }
}

std::optional<Duration> DelayedReports::nextDue() const {
  if (held_.empty()) {
    return std::nullopt;
  }
  return held_.front().first;
}

std::optional<Duration> earliest(std::optional<Duration> a, std::optional<Duration> b) {
  if (!a || !b) {
    return a ? a : b;
  }
  return std::min(*a, *b);
}

}  // namespace halvane::sim
