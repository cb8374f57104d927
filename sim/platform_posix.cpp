#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "sim/platform_hooks.h"

extern char** environ;

namespace halvane::sim {
namespace {

class PosixEnvironment final : public Environment {
 public:
  std::optional<std::string> get(const char* name) const override {
    const char* value = std::getenv(name);
    return value == nullptr ? std::nullopt : std::optional<std::string>(value);
  }
  std::vector<std::string> names() const override {
    std::vector<std::string> result;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
      const char* equals = std::strchr(*entry, '=');
      result.emplace_back(
          *entry, equals == nullptr ? std::strlen(*entry) : static_cast<size_t>(equals - *entry));
    }
    return result;
  }
};

}  // namespace

unsigned long currentThreadId() {
  return static_cast<unsigned long>(::gettid());
}

void enablePreciseTimers() {}

std::unique_ptr<Environment> processEnvironment() {
  return std::make_unique<PosixEnvironment>();
}

}  // namespace halvane::sim
