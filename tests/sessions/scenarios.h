// The sessions kept as tests, each recorded by driving the program on the simulated rig with the
// rig's settings for its fault.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "driver/program_session.h"

namespace halvane::sessions {

struct Scenario {
  std::string name;  // the session file's name, without .trace
  std::map<std::wstring, std::wstring> settings;
  // The operator's steps; false when the program did not do what the session expects.
  std::function<bool(e2e::ProgramSession&)> steps;
};

const std::vector<Scenario>& scenarios();

}  // namespace halvane::sessions
