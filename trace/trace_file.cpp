#include "trace/trace_file.h"

namespace halvane::trace {

TraceFile::TraceFile(void* nativeFile) : file_(nativeFile) {}

TraceFile::~TraceFile() {
  if (isOpen(file_)) {
    close(file_);
  }
}

void TraceFile::writeLine(std::string_view line) {
  std::lock_guard lock(mutex_);
  put(line);
}

void TraceFile::writeLineAtExit(std::string_view line) {
  put(line);
}

void TraceFile::put(std::string_view line) {
  if (!isOpen(file_)) {
    return;
  }
  std::string text;
  text.reserve(line.size() + kLineEnd.size());
  text.append(line).append(kLineEnd);
  writeWhole(file_, text);
}

}  // namespace halvane::trace
