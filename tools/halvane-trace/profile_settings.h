// The simulated rig's settings that make it behave as a measured library did, each only as far as
// the trace proves it; and the profile as the table a person reads.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/halvane-trace/library_profile.h"
#include "tools/halvane-trace/refresh_fit.h"

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

std::string profileTable(const LibraryProfile& profile);

}  // namespace halvane::tools
