#include "trace/file_path.h"

#include "common/wide_text.h"

namespace halvane::trace {

std::filesystem::path nativeFilePath(const std::string& utf8Path) {
  return std::filesystem::path(widen(utf8Path));
}

}  // namespace halvane::trace
