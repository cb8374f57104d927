#include "tools/halvane-trace/command_line.h"

namespace halvane::tools {

std::vector<std::string> commandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

void showUtf8OnConsole() {}  // a terminal here takes UTF-8 as it is

}  // namespace halvane::tools
