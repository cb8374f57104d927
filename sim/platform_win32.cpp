#include <windows.h>

#include <mmsystem.h>

#include <cstring>
#include <mutex>

#include "sim/platform_hooks.h"

namespace halvane::sim {
namespace {

class Win32Environment final : public Environment {
 public:
  // The Win32 block rather than the C runtime's copy, so variables set by the process itself
  // before it loads the library are seen.
  std::optional<std::string> get(const char* name) const override {
    const DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0) {
      return std::nullopt;
    }
    std::string value(size, '\0');
    const DWORD length = GetEnvironmentVariableA(name, value.data(), size);
    value.resize(length < size ? length : 0);
    return value;
  }
  std::vector<std::string> names() const override {
    std::vector<std::string> result;
    char* block = GetEnvironmentStringsA();
    if (block == nullptr) {
      return result;
    }
    for (const char* entry = block; *entry != '\0'; entry += std::strlen(entry) + 1) {
      const char* equals = std::strchr(entry + 1, '=');  // "=C:=C:\" entries start with '='
      result.emplace_back(
          entry, equals == nullptr ? std::strlen(entry) : static_cast<size_t>(equals - entry));
    }
    FreeEnvironmentStringsA(block);
    return result;
  }
};

// Written with WriteFile, not the C runtime's streams: the rig's thread may be ended in the middle
// of a line at process exit, and must not leave a stream lock that the exit then waits for.
class Win32TraceFile final : public TraceSink {
 public:
  explicit Win32TraceFile(HANDLE file) : file_(file) {}
  ~Win32TraceFile() override { CloseHandle(file_); }
  void writeLine(std::string_view line) override {
    std::string text(line);
    text += '\n';
    DWORD written = 0;
    WriteFile(file_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }

 private:
  HANDLE file_;
};

}  // namespace

unsigned long currentThreadId() {
  return GetCurrentThreadId();
}

void enablePreciseTimers() {
  static std::once_flag once;
  std::call_once(once, [] { timeBeginPeriod(1); });
}

std::unique_ptr<Environment> processEnvironment() {
  return std::make_unique<Win32Environment>();
}

std::unique_ptr<TraceSink> openTraceFile(const std::string& path, std::string& error) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = "CreateFile failed, error " + std::to_string(GetLastError());
    return nullptr;
  }
  return std::make_unique<Win32TraceFile>(file);
}

}  // namespace halvane::sim
