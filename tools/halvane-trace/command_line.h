// The tool's arguments and output in UTF-8: on Windows the arguments are taken from the wide
// command line, and a console shows the output as UTF-8, so that a path or a caption in any
// language reaches it and comes back whole whatever the system's code page.
#pragma once

#include <string>
#include <vector>

namespace halvane::tools {

std::vector<std::string> commandLineArguments(int argc, char** argv);

// Has a console show the tool's UTF-8 output as such until the tool exits (then the console's own
// code page is given back). Output to a file or a pipe is UTF-8 bytes either way.
void showUtf8OnConsole();

}  // namespace halvane::tools
