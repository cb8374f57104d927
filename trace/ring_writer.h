// Writes records into a trace laid out as in ring_format.h, in memory the caller provides (a
// mapped file on Windows, a buffer in the tests). Any thread may write at any time: no lock, no
// heap, no system call, so it is safe on the library's threads, inside a crash filter and while the
// process ends.
#pragma once

#include <string_view>

#include "trace/ring_format.h"

namespace halvane::trace {

class RingWriter {
 public:
  RingWriter() = default;
  // Lays out an empty trace over `bytes` (at least a page and some slots, 8-byte aligned).
  bool start(void* memory, uint64_t bytes, int64_t ticksPerSecond, int64_t originTicks);
  bool started() const { return facts_ != nullptr; }

  // Returns the begin's claim, which its end names.
  uint64_t callBegin(uint32_t threadId, int64_t ticks, const CallBody& call);
  void callEnd(uint32_t threadId, int64_t ticks, const CallBody& call);
  void missing(uint32_t threadId, int64_t ticks, const CallBody& call);
  void callback(uint32_t threadId, int64_t ticks, const CallbackBody& callback);
  void crash(uint32_t threadId, int64_t ticks, const CrashBody& crash);
  // A line from its kind on ("event trace-space ..."); one longer than a record holds is replaced
  // by an event that says how long it was.
  void text(uint32_t threadId, int64_t ticks, std::string_view body);

  uint64_t claimed() const;

 private:
  uint64_t put(const RecordHead& head, const void* body, size_t bodyBytes);
  Slot& slotFor(uint64_t claim);

  RingFacts* facts_ = nullptr;
  Slot* slots_ = nullptr;
};

}  // namespace halvane::trace
