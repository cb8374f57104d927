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

}  // namespace

std::string traceFileName(const WallTime& t) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "halvane-%04d%02d%02d-%02d%02d%02d-%03d.txt", t.year,
                t.month, t.day, t.hour, t.minute, t.second, t.millisecond);
  return buffer;
}

std::string isoTime(const WallTime& t) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", t.year, t.month, t.day,
                t.hour, t.minute, t.second, t.millisecond);
  return buffer;
}

bool isTraceFileName(std::string_view name) {
  return name.size() > kPrefix.size() + kSuffix.size() &&
         name.substr(0, kPrefix.size()) == kPrefix &&
         name.substr(name.size() - kSuffix.size()) == kSuffix;
}

std::vector<std::string> tracesToRemove(std::vector<std::string> names, size_t kept) {
  std::erase_if(names, [](const std::string& n) { return !isTraceFileName(n); });
  std::sort(names.begin(), names.end());  // names sort by start time
  const size_t keepOld = kept == 0 ? 0 : kept - 1;
  if (names.size() <= keepOld) {
    return {};
  }
  names.resize(names.size() - keepOld);
  return names;
}

void BoundedOutput::writeLine(std::string_view line) {
  if (full_) {
    return;
  }
  if (written_ + line.size() + 1 + kFullLineRoom > limit_) {
    full_ = true;
    inner_.writeLine(trace::formatLine(clock_.nowUs(), clock_.threadId(),
                                       "event trace-full limit_bytes=" + std::to_string(limit_)));
    return;
  }
  written_ += line.size() + 1;
  inner_.writeLine(line);
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
