// Files named by UTF-8 paths, as every path of ours is held: on Windows they are opened through
// the wide calls, so a folder named in any language opens whatever the system's code page.
#pragma once

#include <filesystem>
#include <string>

namespace halvane::trace {

std::filesystem::path nativeFilePath(const std::string& utf8Path);

}  // namespace halvane::trace
