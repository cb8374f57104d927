#include <windows.h>

#include <shellapi.h>

#include <cstdlib>

#include "common/wide_text.h"
#include "tools/halvane-trace/command_line.h"

namespace halvane::tools {

std::vector<std::string> commandLineArguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) {
    return std::vector<std::string>(argv + 1, argv + argc);
  }
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) {
    args.push_back(narrow(wide[i]));
  }
  LocalFree(wide);
  return args;
}

namespace {
UINT consoleCodePage = 0;
}  // namespace

void showUtf8OnConsole() {
  consoleCodePage = GetConsoleOutputCP();  // 0 where there is no console
  if (consoleCodePage != 0 && consoleCodePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
    std::atexit([] { SetConsoleOutputCP(consoleCodePage); });
  }
}

}  // namespace halvane::tools
