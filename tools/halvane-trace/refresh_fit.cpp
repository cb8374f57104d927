#include "tools/halvane-trace/refresh_fit.h"

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

namespace halvane::tools {
namespace {

// How far a read's time in the trace may lie from the moment the library took it up: no refresh
// fell inside a repeat, so its span, less this at each end, bounds the period from below.
constexpr int64_t kReadSlackUs = 3'000;
constexpr int64_t kLongestPeriodUs = 60'000'000;
constexpr int64_t kPeriodsTried = 4000;
constexpr size_t kPeriodsRefined = 8;
constexpr int64_t kFinePeriodStepUs = 20;
// Periods that fit as well but lie this far apart (a fifth of the period) are another answer.
constexpr int64_t kBandGapPercent = 20;

int64_t floorDiv(int64_t a, int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// One move's consecutive reads while its wheel turned.
struct MoveReads {
  std::vector<ReadPair> repeats;
  std::vector<ReadPair> changes;
};

// The periods (from `lower` on) that leave the fewest read pairs unexplained, each group of pairs
// with its own phase; none where even those leave more than a tenth of the pairs.
std::optional<PeriodRange> bestPeriods(const std::vector<MoveReads>& groups, size_t pairs,
                                       int64_t lower);

std::map<int64_t, MoveReads> readsByMove(const LibraryProfile& p) {
  std::map<int64_t, MoveReads> moves;
  for (const ReadPair& r : p.refreshRepeats) {
    moves[r.move].repeats.push_back(r);
  }
  for (const ReadPair& r : p.refreshChanges) {
    moves[r.move].changes.push_back(r);
  }
  return moves;
}

// How many of a move's read pairs the best phase of `period` leaves unexplained: a repeat with a
// refresh between its reads, or a change without one. A pair holds the phase (where on the period
// the refreshes fall) to an arc of the period, or out of it, so the best phase is found exactly by
// sweeping the arcs' ends. A read's window ends at its own time and the next one's starts there,
// so a refresh at a read's moment is counted once, never for two changes.
size_t misfits(const MoveReads& reads, int64_t period) {
  size_t atPhaseZero = 0;
  std::vector<std::pair<int64_t, int>> steps;            // phase, change in misfits from there on
  const auto arc = [&](const ReadPair& r, int inside) {  // phases with a refresh in (from, to]
    const int64_t start = r.fromUs - floorDiv(r.fromUs, period) * period + 1;
    const int64_t end = start + (r.toUs - r.fromUs);  // one past the arc
    steps.emplace_back(start, inside);
    if (end <= period) {
      steps.emplace_back(end, -inside);
    } else {  // round the period's end
      atPhaseZero += inside > 0 ? 1 : 0;
      atPhaseZero -= inside < 0 ? 1 : 0;
      steps.emplace_back(end - period, -inside);
    }
  };
  for (const ReadPair& r : reads.repeats) {
    if (r.toUs - r.fromUs >= period) {
      ++atPhaseZero;  // a refresh falls between them whatever the phase
    } else {
      arc(r, 1);
    }
  }
  for (const ReadPair& r : reads.changes) {
    if (r.toUs - r.fromUs < period) {
      ++atPhaseZero;  // unexplained unless the phase lies on its arc
      arc(r, -1);
    }
  }
  std::sort(steps.begin(), steps.end());
  int64_t current = static_cast<int64_t>(atPhaseZero);
  int64_t fewest = current;
  for (size_t i = 0; i < steps.size();) {
    const int64_t at = steps[i].first;
    for (; i < steps.size() && steps[i].first == at; ++i) {
      current += steps[i].second;
    }
    if (at < period) {
      fewest = std::min(fewest, current);
    }
  }
  return static_cast<size_t>(fewest);
}

size_t misfitsOfAll(const std::vector<MoveReads>& groups, int64_t period) {
  size_t misfit = 0;
  for (const MoveReads& reads : groups) {
    misfit += misfits(reads, period);
  }
  return misfit;
}

std::optional<PeriodRange> bestPeriods(const std::vector<MoveReads>& groups, size_t pairs,
                                       int64_t lower) {
  const int64_t upper = std::min(kLongestPeriodUs, std::max(4 * lower, lower + 2'000'000));
  const int64_t step = std::max<int64_t>(kFinePeriodStepUs, (upper - lower) / kPeriodsTried);
  std::vector<std::pair<int64_t, size_t>> fits;  // period, misfits
  for (int64_t period = std::max<int64_t>(1000, lower); period <= upper; period += step) {
    fits.emplace_back(period, misfitsOfAll(groups, period));
  }
  if (fits.empty()) {
    return std::nullopt;
  }
  // A grid that holds over many refreshes pins the period closer than the steps above: around
  // the best of them the periods are tried again, finely.
  std::vector<std::pair<int64_t, size_t>> coarse = fits;
  std::stable_sort(coarse.begin(), coarse.end(),
                   [](const auto& a, const auto& b) { return a.second < b.second; });
  coarse.resize(std::min(coarse.size(), kPeriodsRefined));
  for (const auto& [around, ignored] : coarse) {
    for (int64_t period = std::max(lower, around - step + kFinePeriodStepUs);
         period < around + step; period += kFinePeriodStepUs) {
      fits.emplace_back(period, misfitsOfAll(groups, period));
    }
  }
  std::sort(fits.begin(), fits.end());
  // A read stamped late on a loaded machine may misfit the true period: the periods that leave the
  // fewest reads unexplained are taken, as long as those are few.
  size_t fewest = fits.front().second;
  for (const auto& fit : fits) {
    fewest = std::min(fewest, fit.second);
  }
  if (fewest * 10 > pairs) {
    return std::nullopt;
  }
  std::optional<PeriodRange> range;
  int64_t lastUs = 0;
  for (const auto& [period, misfit] : fits) {
    if (misfit != fewest) {
      continue;
    }
    const int64_t periodMs = period / 1000;
    if (!range) {
      range = PeriodRange{periodMs, periodMs, fewest};
    } else {
      range->bands += (period - lastUs) * 100 > kBandGapPercent * lastUs ? 1 : 0;
      range->highMs = periodMs;
    }
    lastUs = period;
  }
  return range;
}

}  // namespace

std::optional<PeriodRange> refreshPeriods(const LibraryProfile& p) {
  int64_t lower = 1000;
  for (const ReadPair& r : p.refreshRepeats) {
    lower = std::max(lower, r.toUs - r.fromUs - 2 * kReadSlackUs);
  }
  const size_t pairs = p.refreshRepeats.size() + p.refreshChanges.size();
  MoveReads all{p.refreshRepeats, p.refreshChanges};
  std::vector<MoveReads> apart;
  for (auto& [move, reads] : readsByMove(p)) {
    apart.push_back(std::move(reads));
  }
  // One grid for the whole trace pins the period closest, where it explains the reads as well as
  // grids of each move's own phase do; where the library's clock drifts from the trace's (or the
  // trace joins runs), one grid is worse, and each move is fitted with its own phase.
  const auto perMove = bestPeriods(apart, pairs, lower);
  const auto whole = bestPeriods({all}, pairs, lower);
  return whole && (!perMove || whole->misfits <= perMove->misfits) ? whole : perMove;
}

}  // namespace halvane::tools
