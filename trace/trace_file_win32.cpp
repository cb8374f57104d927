#include <windows.h>

#include "common/wide_text.h"
#include "trace/trace_file.h"

namespace halvane::trace {

std::unique_ptr<TraceFile> TraceFile::create(const std::string& path, std::string& error) {
  const HANDLE file =
      CreateFileW(widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = "CreateFile failed, error " + std::to_string(GetLastError());
    return nullptr;
  }
  return std::make_unique<TraceFile>(file);
}

bool TraceFile::isOpen(void* file) {
  return file != nullptr && file != INVALID_HANDLE_VALUE;
}

void TraceFile::writeWhole(void* file, std::string_view text) {
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void TraceFile::close(void* file) {
  CloseHandle(file);
}

}  // namespace halvane::trace
