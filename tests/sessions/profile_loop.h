// The closed loop of the library's profile: the program runs on the simulated rig with known
// settings behind the recording stand-in, and the profile of the recorded trace must give those
// settings back.
#pragma once

#include <string>

namespace halvane::sessions {

// Runs the named case; 0 when the profile gave every planted setting back within its tolerance.
int profileLoop(const std::string& caseName);

}  // namespace halvane::sessions
