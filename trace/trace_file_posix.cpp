#include <cerrno>
#include <cstdio>
#include <cstring>

#include "trace/trace_file.h"

namespace halvane::trace {

std::unique_ptr<TraceFile> TraceFile::create(const std::string& path, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    error = std::strerror(errno);
    return nullptr;
  }
  return std::make_unique<TraceFile>(file);
}

bool TraceFile::isOpen(void* file) {
  return file != nullptr;
}

void TraceFile::writeWhole(void* file, std::string_view text) {
  auto* stream = static_cast<std::FILE*>(file);
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

void TraceFile::close(void* file) {
  std::fclose(static_cast<std::FILE*>(file));
}

}  // namespace halvane::trace
