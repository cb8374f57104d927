#include "tracer/trace_files.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "trace/trace_writer.h"

namespace halvane::tracer {
namespace {

constexpr std::string_view kPrefix = "halvane-";
constexpr std::string_view kSuffix = ".txt";
// Room for the line that says the trace is full.
constexpr uint64_t kFullLineRoom = 128;

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::string traceFileName(const WallTime& t, int attempt) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "halvane-%04d%02d%02d-%02d%02d%02d-%03d", t.year, t.month,
                t.day, t.hour, t.minute, t.second, t.millisecond);
  std::string name = buffer;
  if (attempt > 0) {
    name += '-';
    name += std::to_string(attempt);
  }
  return name + std::string(kSuffix);
}

std::string isoTime(const WallTime& t) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", t.year, t.month, t.day,
                t.hour, t.minute, t.second, t.millisecond);
  return buffer;
}

bool isTraceFileName(std::string_view name) {
  // "halvane-" digits{8} "-" digits{6} "-" digits{3} ["-" digits] ".txt"
  constexpr std::string_view kStamp = "########-######-###";
  if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix)) {
    return false;
  }
  const std::string_view stamp =
      name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
  if (stamp.size() < kStamp.size()) {
    return false;
  }
  for (size_t i = 0; i < kStamp.size(); ++i) {
    if (kStamp[i] == '#' ? !isDigit(stamp[i]) : stamp[i] != kStamp[i]) {
      return false;
    }
  }
  const std::string_view attempt = stamp.substr(kStamp.size());
  return attempt.empty() || (attempt.size() > 1 && attempt[0] == '-' &&
                             std::all_of(attempt.begin() + 1, attempt.end(), isDigit));
}

std::vector<std::string> tracesToRemove(std::vector<std::string> names, size_t kept) {
  std::erase_if(names, [](const std::string& n) { return !isTraceFileName(n); });
  // By start time, then attempt: without the suffix "…-123" sorts before "…-123-1".
  const auto stem = [](const std::string& n) {
    return std::string_view(n).substr(0, n.size() - kSuffix.size());
  };
  std::sort(names.begin(), names.end(),
            [&](const std::string& a, const std::string& b) { return stem(a) < stem(b); });
  const size_t keepOld = kept == 0 ? 0 : kept - 1;
  if (names.size() <= keepOld) {
    return {};
  }
  names.resize(names.size() - keepOld);
  return names;
}

void BoundedOutput::writeLine(std::string_view line) {
  std::lock_guard lock(mutex_);
  if (full_) {
    return;
  }
  const uint64_t size = line.size() + trace::kLineEnd.size();
  if (written_ + size + kFullLineRoom > limit_) {
    full_ = true;
    const std::string last =
        trace::formatLine(clock_.nowUs(), clock_.threadId(),
                          "event trace-full limit_bytes=" + std::to_string(limit_));
    written_ += last.size() + trace::kLineEnd.size();
    inner_.writeLine(last);
    return;
  }
  written_ += size;
  inner_.writeLine(line);
}

uint64_t BoundedOutput::written() const {
  std::lock_guard lock(mutex_);
  return written_;
}

uint32_t crc32(const void* data, size_t size, uint32_t crc) {
  static const auto table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) {
        c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      }
      t[i] = c;
    }
    return t;
  }();
  crc = ~crc;
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) {
    crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
  }
  return ~crc;
}

}  // namespace halvane::tracer
