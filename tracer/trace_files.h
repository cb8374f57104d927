// Where the stand-in's traces go, what they are called and how much room each takes: one file per
// run, numbered in the order runs started (never by the wall clock, which a dead clock battery or
// the change from summer time sets back), the lowest numbers removed beyond a count; each file
// takes its whole size when the run starts, so a full disk is found then, never in the middle of
// a run.
#pragma once

#include <cstddef>
#include <cstdint>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvane::tracer {

inline constexpr size_t kTracesKept = 20;
inline constexpr uint64_t kTraceFileBytes = 64ull * 1024 * 1024;
// Where the whole size cannot be had, smaller files are tried down to this.
inline constexpr uint64_t kSmallestTraceFileBytes = 1ull * 1024 * 1024;
inline constexpr char kTracesFolderName[] = "traces";

struct WallTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// "halvane-000123.trace".
std::string traceFileName(uint64_t sequence);
// The number of one of our names; nothing for any other file, which is never counted or removed.
std::optional<uint64_t> traceSequence(std::string_view name);
// The number the next run takes: one past the highest in the folder.
uint64_t nextTraceSequence(const std::vector<std::string>& names);
// Of the names in a traces folder, the trace files to remove so that `kept` remain with the new
// one: the lowest numbers.
std::vector<std::string> tracesToRemove(std::vector<std::string> names, size_t kept = kTracesKept);
// "2026-12-08T13:31:08.123"
std::string isoTime(const WallTime& time);

// Takes room for a trace file: true when a file of `bytes` now stands in the folder.
class TraceSpace {
 public:
  virtual ~TraceSpace() = default;
  virtual bool take(size_t folder, uint64_t bytes) = 0;
};

struct SpaceTaken {
  std::optional<size_t> folder;  // nothing: no room anywhere
  uint64_t bytes = 0;
  // What was asked for and refused, in order: "folder-index:bytes".
  std::vector<std::string> refused;
};

// The whole size in each folder in turn, then a quarter of it each time down to the smallest.
SpaceTaken takeTraceSpace(TraceSpace& space, size_t folders);

uint32_t crc32(const void* data, size_t size, uint32_t crc = 0);

}  // namespace halvane::tracer
