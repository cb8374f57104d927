// The tracer's trace file: a fixed page of facts, then slots of 64 bytes. The first slots keep the
// start of a run for good; the rest are a ring that always holds its latest records. A writer
// claims a record's slots with one atomic add on the claim count and commits each slot by storing
// its stamp last (release), so a reader, even of a file whose writer was killed, takes only whole
// records and knows how many were overwritten. Nothing here allocates or locks.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace halvane::trace {

inline constexpr char kRingMagic[8] = {'H', 'A', 'L', 'V', 'T', 'R', 'C', '1'};
inline constexpr size_t kRingPageBytes = 4096;
inline constexpr size_t kSlotBytes = 64;
inline constexpr size_t kSlotDataBytes = kSlotBytes - sizeof(uint32_t);
// A text record (header, operator step, event) spans at most this many slots.
inline constexpr size_t kMaxRecordSlots = 160;

// The page at the file's start. Written once before any record, but for the counts.
struct RingFacts {
  char magic[8];
  uint32_t slotBytes;
  uint32_t startSlots;  // kept for good
  uint64_t ringSlots;   // overwritten in turn
  int64_t ticksPerSecond;
  int64_t originTicks;               // time 0 of the trace
  std::atomic<uint64_t> claimed;     // slots claimed so far
  std::atomic<uint64_t> extraSlots;  // of those, slots beyond each record's first
};
static_assert(sizeof(RingFacts) <= kRingPageBytes);
static_assert(std::atomic<uint64_t>::is_always_lock_free);

// A slot's stamp: the low 31 bits of its claim number plus one, so a slot left from an earlier
// lap or never written never passes for the one a reader looks for; the top bit marks the slots
// of a record after its first.
inline constexpr uint32_t kStampContinued = 0x80000000u;
constexpr uint32_t slotStamp(uint64_t claim, bool continued = false) {
  return ((static_cast<uint32_t>(claim) + 1) & ~kStampContinued) |
         (continued ? kStampContinued : 0);
}

struct Slot {
  std::atomic<uint32_t> stamp;
  unsigned char data[kSlotDataBytes];
};
static_assert(sizeof(Slot) == kSlotBytes);

enum class RingKind : uint8_t {
  CallBegin = 1,  // a call handed to the library
  CallEnd,        // its return
  Missing,        // an export the library lacks
  Callback,       // one of the library's callbacks, before the program's runs
  Crash,          // an unhandled exception
  Text,           // a line from its kind on, made by the writer (header, event, operator step)
};

// The start of every record, in its first slot's data.
struct RecordHead {
  RingKind kind;
  uint8_t slots;
  uint16_t textBytes;  // Text: the line's bytes, which follow the head across the slots
  uint32_t threadId;
  int64_t ticks;  // when it happened (a call's end: its return)
};

inline constexpr uint8_t kArgIsPointer = 0x01;  // per argument, shifted by its position
inline constexpr uint8_t kArgIsNull = 0x08;     // likewise
inline constexpr uint8_t kCallHasOut = 0x40;    // CallEnd: an int* out-value was there
inline constexpr uint8_t kCallOutSame = 0x80;   // CallEnd: the call left it as it was
inline constexpr uint8_t kCallVendorUnloaded = 0x20;

// A call's begin, its end, or a missing export. The end repeats what was called, so it reads
// whole when its begin has been overwritten. Laid out alike by 32- and 64-bit writers.
struct CallBody {
  int64_t startTicks;   // CallEnd: when the call began
  int32_t args[3];      // pointers: the value they point to before the call
  uint32_t beginClaim;  // CallEnd: the low bits of its begin's claim
  int32_t result;
  int32_t out;  // the out-value after the call
  uint8_t exportIndex;
  uint8_t flags;  // argument kinds, and the end's out-value flags
  uint16_t unused;
};
static_assert(sizeof(CallBody) == 40);

// Online (node, state), Spare (value), Status (node, kind, bytes, value).
enum class CallbackId : uint8_t { Online, Spare, Status };
struct CallbackBody {
  CallbackId which;
  uint8_t statusBytes[2];
  uint8_t statusNull;
  int32_t args[3];
};

struct CrashBody {
  uint64_t address;
  uint32_t code;
};

inline constexpr size_t kHeadBytes = sizeof(RecordHead);
static_assert(kHeadBytes + sizeof(CallBody) <= kSlotDataBytes);
static_assert(kHeadBytes + sizeof(CallbackBody) <= kSlotDataBytes);
static_assert(kHeadBytes + sizeof(CrashBody) <= kSlotDataBytes);

// Slots of a file of `fileBytes`: an eighth keeps the start, the rest is the ring.
struct RingShape {
  uint32_t startSlots = 0;
  uint64_t ringSlots = 0;
};
constexpr RingShape ringShapeFor(uint64_t fileBytes) {
  const uint64_t slots = fileBytes > kRingPageBytes ? (fileBytes - kRingPageBytes) / kSlotBytes : 0;
  const uint64_t start = slots / 8;
  return {static_cast<uint32_t>(start), slots - start};
}

}  // namespace halvane::trace
