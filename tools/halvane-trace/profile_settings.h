// The simulated rig's settings that make it behave as a measured library did, each only as far as
// the trace proves it; and the profile as the table a person reads.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/halvane-trace/library_profile.h"

namespace halvane::tools {

// One HALVANE_SIM_* setting: its value where the trace tells it, and why (or why not).
struct SimSetting {
  std::string name;                  // HALVANE_SIM_...
  std::optional<std::string> value;  // none: left out, the rig's default stays
  std::string why;
};

std::vector<SimSetting> simSettings(const LibraryProfile& profile);

// The settings as the rig reads them: NAME=VALUE lines, the reasons as # comment lines. Usable as
// a file for `scripts/run --settings`.
std::string settingsText(const std::vector<SimSetting>& settings);

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

std::string profileTable(const LibraryProfile& profile);

}  // namespace halvane::tools
