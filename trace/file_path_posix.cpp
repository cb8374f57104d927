#include "trace/file_path.h"

namespace halvane::trace {

std::filesystem::path nativeFilePath(const std::string& utf8Path) {
  return std::filesystem::path(utf8Path);
}

}  // namespace halvane::trace
