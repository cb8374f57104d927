// The timeline's horizontal axis: stretches of activity laid end to end at one scale, and each
// long idle gap between them folded to a narrow band, so an hour-long trace stays readable.
#pragma once

#include <cstdint>

#include <vector>

namespace halvane::tools {

inline constexpr int64_t kFoldGapUs = 5'000'000;
inline constexpr double kFoldWidth = 28;

struct Interval {
  int64_t fromUs = 0;
  int64_t toUs = 0;
};

class TimeAxis {
 public:
  // `busy`: the stretches where something happens; `targetWidth`: pixels the busy time gets,
  // within bounds of scale.
  TimeAxis(std::vector<Interval> busy, double targetWidth);

  double x(int64_t timeUs) const;
  double width() const { return width_; }
  const std::vector<Interval>& shown() const { return shown_; }
  double pixelsPerUs() const { return scale_; }
  // The folded gaps with their x position.
  struct Fold {
    double x = 0;
    int64_t fromUs = 0;
    int64_t toUs = 0;
  };
  const std::vector<Fold>& folds() const { return folds_; }

 private:
  std::vector<Interval> shown_;
  std::vector<double> startX_;
  std::vector<Fold> folds_;
  double scale_ = 0;
  double width_ = 0;
};

}  // namespace halvane::tools
