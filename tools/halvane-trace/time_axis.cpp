#include "tools/halvane-trace/time_axis.h"

#include <algorithm>
#include <functional>

namespace halvane::tools {
namespace {

constexpr double kMinPixelsPerSecond = 20;
constexpr double kMaxPixelsPerSecond = 20000;

}  // namespace

TimeAxis::TimeAxis(std::vector<Interval> busy, double targetWidth) {
  std::sort(busy.begin(), busy.end(),
            [](const Interval& a, const Interval& b) { return a.fromUs < b.fromUs; });
  for (const Interval& i : busy) {
    const Interval span{i.fromUs, std::max(i.fromUs, i.toUs)};
    if (!shown_.empty() && span.fromUs - shown_.back().toUs < kFoldGapUs) {
      shown_.back().toUs = std::max(shown_.back().toUs, span.toUs);
    } else {
      shown_.push_back(span);
    }
  }
  if (shown_.empty()) {
    shown_.push_back({0, 1});
  }
  foldOnlyTheLongestGaps();
  int64_t busyUs = 0;
  for (const Interval& i : shown_) {
    busyUs += std::max<int64_t>(1, i.toUs - i.fromUs);
  }
  const double folded = kFoldWidth * static_cast<double>(shown_.size() - 1);
  const double room = std::max(kMaxAxisWidth - folded, targetWidth) / static_cast<double>(busyUs);
  scale_ = std::min(std::clamp(targetWidth / static_cast<double>(busyUs), kMinPixelsPerSecond / 1e6,
                               kMaxPixelsPerSecond / 1e6),
                    room);
  double at = 0;
  for (size_t k = 0; k < shown_.size(); ++k) {
    if (k > 0) {
      folds_.push_back({at, shown_[k - 1].toUs, shown_[k].fromUs});
      at += kFoldWidth;
    }
    startX_.push_back(at);
    at += static_cast<double>(shown_[k].toUs - shown_[k].fromUs) * scale_;
  }
  width_ = at;
}

void TimeAxis::foldOnlyTheLongestGaps() {
  if (shown_.size() <= kMaxFolds + 1) {
    return;
  }
  std::vector<int64_t> gaps;
  for (size_t k = 1; k < shown_.size(); ++k) {
    gaps.push_back(shown_[k].fromUs - shown_[k - 1].toUs);
  }
  std::nth_element(gaps.begin(), gaps.begin() + kMaxFolds - 1, gaps.end(), std::greater<>());
  const int64_t shortestFolded = gaps[kMaxFolds - 1];
  std::vector<Interval> kept{shown_.front()};
  size_t folded = 0;
  for (size_t k = 1; k < shown_.size(); ++k) {
    if (shown_[k].fromUs - kept.back().toUs >= shortestFolded && folded < kMaxFolds) {
      kept.push_back(shown_[k]);
      ++folded;
    } else {
      kept.back().toUs = shown_[k].toUs;
    }
  }
  shown_ = std::move(kept);
}

double TimeAxis::x(int64_t timeUs) const {
  // The last stretch that starts at or before the time.
  const auto after = std::upper_bound(shown_.begin(), shown_.end(), timeUs,
                                      [](int64_t t, const Interval& i) { return t < i.fromUs; });
  if (after == shown_.begin()) {
    return 0;
  }
  const size_t k = static_cast<size_t>(after - shown_.begin()) - 1;
  if (timeUs <= shown_[k].toUs) {
    return startX_[k] + static_cast<double>(timeUs - shown_[k].fromUs) * scale_;
  }
  const double end = startX_[k] + static_cast<double>(shown_[k].toUs - shown_[k].fromUs) * scale_;
  return k + 1 < shown_.size() ? end + kFoldWidth / 2 : end;
}

}  // namespace halvane::tools
