// The tool's arguments in UTF-8: on Windows taken from the wide command line, so that a path in
// any language reaches it whole whatever the system's code page.
#pragma once

#include <string>
#include <vector>

namespace halvane::tools {

std::vector<std::string> commandLineArguments(int argc, char** argv);

}  // namespace halvane::tools
