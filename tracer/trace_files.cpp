#include "tracer/trace_files.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace halvane::tracer {
namespace {

constexpr std::string_view kPrefix = "halvane-";
constexpr std::string_view kSuffix = ".trace";
constexpr size_t kDigits = 6;

}  // namespace

std::string traceFileName(uint64_t sequence) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "halvane-%06llu.trace",
                static_cast<unsigned long long>(sequence));
  return buffer;
}

std::optional<uint64_t> traceSequence(std::string_view name) {
  if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix)) {
    return std::nullopt;
  }
  const std::string_view digits =
      name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
  if (digits.size() < kDigits || digits.size() > 19 ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  uint64_t value = 0;
  for (const char c : digits) {
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return value;
}

uint64_t nextTraceSequence(const std::vector<std::string>& names) {
  uint64_t highest = 0;
  for (const std::string& name : names) {
    highest = std::max(highest, traceSequence(name).value_or(0));
  }
  return highest + 1;
}

std::vector<std::string> tracesToRemove(std::vector<std::string> names, size_t kept) {
  std::erase_if(names, [](const std::string& n) { return !traceSequence(n); });
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return *traceSequence(a) < *traceSequence(b);
  });
  const size_t keepOld = kept == 0 ? 0 : kept - 1;
  if (names.size() <= keepOld) {
    return {};
  }
  names.resize(names.size() - keepOld);
  return names;
}

std::string isoTime(const WallTime& t) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", t.year, t.month, t.day,
                t.hour, t.minute, t.second, t.millisecond);
  return buffer;
}

SpaceTaken takeTraceSpace(TraceSpace& space, size_t folders) {
  SpaceTaken taken;
  for (uint64_t bytes = kTraceFileBytes; bytes >= kSmallestTraceFileBytes; bytes /= 4) {
    for (size_t folder = 0; folder < folders; ++folder) {
      if (space.take(folder, bytes)) {
        taken.folder = folder;
        taken.bytes = bytes;
        return taken;
      }
      taken.refused.push_back(std::to_string(folder) + ":" + std::to_string(bytes));
    }
  }
  return taken;
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
