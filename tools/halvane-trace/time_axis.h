// The timeline's horizontal axis: stretches of activity laid end to end at one scale, and each
// long idle gap between them folded to a narrow band, so an hour-long trace stays readable.
#pragma once

#include <cstdint>

#include <vector>

#include "tools/halvane-trace/session_model.h"

namespace halvane::tools {

inline constexpr int64_t kFoldGapUs = kBusyGapUs;
inline constexpr double kFoldWidth = 28;
// However long the trace, the page stays this wide (the scale gives way) and so a page a browser
// draws in a moment.
inline constexpr double kMaxAxisWidth = 8000;

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
  // Many short gaps would take the page's width in folds: beyond this many, only the longest fold.
  static constexpr size_t kMaxFolds = 100;
  void foldOnlyTheLongestGaps();

  std::vector<Interval> shown_;
  std::vector<double> startX_;
  std::vector<Fold> folds_;
  double scale_ = 0;
  double width_ = 0;
};

}  // namespace halvane::tools
