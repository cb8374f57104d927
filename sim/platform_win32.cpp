#include <windows.h>

#include <mmsystem.h>

#include <cstring>
#include <mutex>

#include "common/wide_text.h"
#include "sim/platform_hooks.h"

namespace halvane::sim {
namespace {

class Win32Environment final : public Environment {
 public:
  // The Win32 block rather than the C runtime's copy, so variables set by the process itself
  // before it loads the library are seen.
  // Read wide and held as UTF-8: a setting that names a file (the recording to replay) keeps
  // its path whole whatever the system's code page.
  std::optional<std::string> get(const char* name) const override {
    const std::wstring wideName = widen(name);
    const DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (size == 0) {
      return std::nullopt;
    }
    std::wstring value(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(wideName.c_str(), value.data(), size);
    value.resize(length < size ? length : 0);
    return narrow(value);
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

}  // namespace halvane::sim
