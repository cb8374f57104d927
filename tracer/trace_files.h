// Where the stand-in's traces go and how many are kept: one file per run, named by its start
// time, the oldest removed beyond a count, each bounded in size.
#pragma once

#include <cstddef>
#include <cstdint>

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "tracer/tracer_seams.h"

namespace halvane::tracer {

inline constexpr size_t kTracesKept = 20;
inline constexpr uint64_t kTraceFileLimitBytes = 64ull * 1024 * 1024;
inline constexpr char kTracesFolderName[] = "traces";

struct WallTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// "halvane-20261208-133108-123.txt"; a name already taken (two starts in one millisecond) is
// tried again as "halvane-20261208-133108-123-1.txt" and so on.
std::string traceFileName(const WallTime& time, int attempt = 0);
// "2026-12-08T13:31:08.123"
std::string isoTime(const WallTime& time);
// Only names the stand-in makes: nothing else in the folder is ever removed.
bool isTraceFileName(std::string_view name);
// Of the names in a traces folder, the trace files to remove so that `kept` remain with the new
// one.
std::vector<std::string> tracesToRemove(std::vector<std::string> names, size_t kept = kTracesKept);

// Passes lines on until the next would pass the limit; then one last line says so and the rest
// is dropped: a full disk or an endless run costs the trace's end, never the run. Lines come from
// every thread that calls the library or a callback: the count and the write are one step.
class BoundedOutput final : public LineOutput {
 public:
  BoundedOutput(LineOutput& inner, TracerClock& clock, uint64_t limitBytes)
      : inner_(inner), clock_(clock), limit_(limitBytes) {}
  void writeLine(std::string_view line) override;
  uint64_t written() const;

 private:
  LineOutput& inner_;
  TracerClock& clock_;
  uint64_t limit_;
  mutable std::mutex mutex_;
  uint64_t written_ = 0;
  bool full_ = false;
};

uint32_t crc32(const void* data, size_t size, uint32_t crc = 0);

}  // namespace halvane::tracer
