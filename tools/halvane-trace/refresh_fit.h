// How often a library refreshes the position it answers with, as far as the reads while a wheel
// turned tell it: a repeat saw no refresh between its reads, a change saw one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "tools/halvane-trace/library_profile.h"

namespace halvane::tools {

// The refresh periods (ms) the reads while turning fit best: a repeat saw no refresh between its
// reads, a change saw one. None where no period explains nearly all of them.
struct PeriodRange {
  int64_t lowMs = 0;
  int64_t highMs = 0;
  size_t misfits = 0;  // read pairs the range leaves unexplained
  // Bands of periods that fit as well, with worse ones between them (reads 254 ms apart fit a
  // refresh of 400 ms, and may fit one of 508 ms as well): more than one, the trace cannot tell.
  size_t bands = 1;
};
std::optional<PeriodRange> refreshPeriods(const LibraryProfile& profile);

}  // namespace halvane::tools
