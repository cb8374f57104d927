// Reading the tracer's ring trace (ring_format.h) as the records of a text trace, in the order
// they were written: the kept start, then an event saying how many records the ring overwrote
// (when it did), then the ring's records. A call shows once it returned, stamped with its start;
// a call that had not returned by the trace's end shows as in flight (`returned=no`). A record
// whose writing was cut off (the process killed mid-write) is left out and counted.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "trace/ring_format.h"
#include "trace/trace_reader.h"

namespace halvane::trace {

bool isRingTrace(std::string_view bytes);

// The reader's own events where a ring trace is not whole.
inline constexpr char kRecordsDropped[] = "records-dropped";
inline constexpr char kRecordsCutOff[] = "records-cut-off";

class RingReader {
 public:
  // `bytes` is the whole file and must outlive the reader.
  explicit RingReader(std::string_view bytes);
  // Why the file is no ring trace one can read; empty when it is.
  const std::string& problem() const { return problem_; }
  // The next record, or nothing at the end.
  std::optional<Record> next();
  // The share of the records read so far, 0 to 1.
  double fraction() const;

 private:
  struct Open {
    Record call;
    int64_t ticks = 0;
  };
  enum class Phase { Start, Dropped, Ring, Unfinished, Done };

  uint32_t stampAt(uint64_t claim) const;
  const unsigned char* dataAt(uint64_t claim) const;
  // Decodes the record at `at_` and moves past it, skipping no further than `end`; a record that
  // yields no line yet (a begin) gives nothing.
  std::optional<Record> take(uint64_t end);
  std::optional<Record> decode(const RecordHead& head, const unsigned char* body, size_t bytes,
                               uint64_t claim);
  int64_t microseconds(int64_t ticks) const;
  uint64_t countRecords(uint64_t from, uint64_t to) const;

  std::string_view bytes_;
  std::string problem_;
  uint32_t startSlots_ = 0;
  uint64_t ringSlots_ = 0;
  int64_t ticksPerSecond_ = 1;
  int64_t originTicks_ = 0;
  uint64_t claimed_ = 0;
  uint64_t extraSlots_ = 0;
  uint64_t ringFrom_ = 0;
  Phase phase_ = Phase::Start;
  uint64_t at_ = 0;
  uint64_t cutOff_ = 0;  // records whose writing was cut off
  int64_t lastTicks_ = 0;
  std::unordered_map<uint32_t, Open> open_;  // begins not yet ended, by claim
  std::vector<uint32_t> openOrder_;
  size_t unfinishedAt_ = 0;
  std::vector<unsigned char> assembled_;
};

ReadResult readRingTrace(std::string_view bytes);
// A ring trace or a text one, whichever `bytes` hold.
ReadResult readAnyTrace(std::string_view bytes);
// Either as the text of a trace file: its whole records, a line each.
std::string traceText(std::string_view bytes);

}  // namespace halvane::trace
