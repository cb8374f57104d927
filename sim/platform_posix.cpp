#include <unistd.h>

#include <cerrno>
#include <cstdio>
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

class PosixTraceFile final : public TraceSink {
 public:
  explicit PosixTraceFile(std::FILE* file) : file_(file) {}
  ~PosixTraceFile() override { std::fclose(file_); }
  void writeLine(std::string_view line) override {
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fputc('\n', file_);
    std::fflush(file_);
  }

 private:
  std::FILE* file_;
};

}  // namespace

unsigned long currentThreadId() {
  return static_cast<unsigned long>(::gettid());
}

void enablePreciseTimers() {}

std::unique_ptr<Environment> processEnvironment() {
  return std::make_unique<PosixEnvironment>();
}

std::unique_ptr<TraceSink> openTraceFile(const std::string& path, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) {
    error = std::strerror(errno);
    return nullptr;
  }
  return std::make_unique<PosixTraceFile>(file);
}

}  // namespace halvane::sim
