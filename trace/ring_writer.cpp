#include "trace/ring_writer.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace halvane::trace {

bool RingWriter::start(void* memory, uint64_t bytes, int64_t ticksPerSecond, int64_t originTicks) {
  const RingShape shape = ringShapeFor(bytes);
  if (memory == nullptr || shape.ringSlots == 0 || ticksPerSecond <= 0) {
    return false;
  }
  auto* facts = new (memory) RingFacts{};
  std::memcpy(facts->magic, kRingMagic, sizeof kRingMagic);
  facts->slotBytes = kSlotBytes;
  facts->startSlots = shape.startSlots;
  facts->ringSlots = shape.ringSlots;
  facts->ticksPerSecond = ticksPerSecond;
  facts->originTicks = originTicks;
  slots_ = reinterpret_cast<Slot*>(static_cast<unsigned char*>(memory) + kRingPageBytes);
  std::atomic_thread_fence(std::memory_order_release);
  facts_ = facts;
  return true;
}

uint64_t RingWriter::claimed() const {
  return facts_ == nullptr ? 0 : facts_->claimed.load(std::memory_order_acquire);
}

Slot& RingWriter::slotFor(uint64_t claim) {
  if (claim < facts_->startSlots) {
    return slots_[claim];
  }
  return slots_[facts_->startSlots + (claim - facts_->startSlots) % facts_->ringSlots];
}

uint64_t RingWriter::put(const RecordHead& head, const void* body, size_t bodyBytes) {
  if (facts_ == nullptr) {
    return 0;
  }
  const size_t total = kHeadBytes + bodyBytes;
  const size_t count = (total + kSlotDataBytes - 1) / kSlotDataBytes;
  const uint64_t claim = facts_->claimed.fetch_add(count, std::memory_order_relaxed);
  if (count > 1) {
    facts_->extraSlots.fetch_add(count - 1, std::memory_order_relaxed);
  }
  RecordHead first = head;
  first.slots = static_cast<uint8_t>(count);
  const auto* source = static_cast<const unsigned char*>(body);
  size_t bodyDone = 0;
  for (size_t k = 0; k < count; ++k) {
    Slot& slot = slotFor(claim + k);
    // A reader never takes a slot half rewritten for the one it held before.
    slot.stamp.store(0, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    size_t at = 0;
    if (k == 0) {
      std::memcpy(slot.data, &first, kHeadBytes);
      at = kHeadBytes;
    }
    const size_t piece = std::min(kSlotDataBytes - at, bodyBytes - bodyDone);
    std::memcpy(slot.data + at, source + bodyDone, piece);
    bodyDone += piece;
    slot.stamp.store(slotStamp(claim + k, k > 0), std::memory_order_release);
  }
  return claim;
}

uint64_t RingWriter::callBegin(uint32_t threadId, int64_t ticks, const CallBody& call) {
  return put({RingKind::CallBegin, 1, 0, threadId, ticks}, &call, sizeof call);
}

void RingWriter::callEnd(uint32_t threadId, int64_t ticks, const CallBody& call) {
  put({RingKind::CallEnd, 1, 0, threadId, ticks}, &call, sizeof call);
}

void RingWriter::missing(uint32_t threadId, int64_t ticks, const CallBody& call) {
  put({RingKind::Missing, 1, 0, threadId, ticks}, &call, sizeof call);
}

void RingWriter::callback(uint32_t threadId, int64_t ticks, const CallbackBody& callback) {
  put({RingKind::Callback, 1, 0, threadId, ticks}, &callback, sizeof callback);
}

void RingWriter::crash(uint32_t threadId, int64_t ticks, const CrashBody& crash) {
  put({RingKind::Crash, 1, 0, threadId, ticks}, &crash, sizeof crash);
}

void RingWriter::text(uint32_t threadId, int64_t ticks, std::string_view body) {
  constexpr size_t kMaxText = kMaxRecordSlots * kSlotDataBytes - kHeadBytes;
  char tooLong[96];
  if (body.size() > kMaxText) {
    // No heap: the replacement is made in place.
    const char prefix[] = "event record-too-long bytes=";
    std::memcpy(tooLong, prefix, sizeof prefix - 1);
    char digits[24];
    size_t n = 0;
    for (size_t v = body.size(); v > 0 || n == 0; v /= 10) {
      digits[n++] = static_cast<char>('0' + v % 10);
    }
    size_t at = sizeof prefix - 1;
    while (n > 0) {
      tooLong[at++] = digits[--n];
    }
    body = std::string_view(tooLong, at);
  }
  put({RingKind::Text, 1, static_cast<uint16_t>(body.size()), threadId, ticks}, body.data(),
      body.size());
}

}  // namespace halvane::trace
