#include "trace/ring_reader.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "common/controller_exports.h"
#include "trace/line_sink.h"
#include "trace/trace_writer.h"

namespace halvane::trace {
namespace {

template <class T>
T readAt(std::string_view bytes, size_t offset) {
  T value{};
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

std::string hexValue(uint64_t value, int digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text = "0x";
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
    text += kDigits[(value >> shift) & 0xF];
  }
  return text;
}

std::vector<std::string> callArgs(const CallBody& call, int count) {
  std::vector<std::string> args;
  for (int i = 0; i < count; ++i) {
    if ((call.flags & (kArgIsPointer << i)) != 0) {
      args.push_back((call.flags & (kArgIsNull << i)) != 0 ? "null" : "&");
    } else {
      args.push_back(std::to_string(call.args[i]));
    }
  }
  return args;
}

// How many arguments each export takes, in table order.
constexpr int kArgCounts[] = {
#define HALVANE_ARG_COUNT(name, params, args) \
  []<class... A>(int (*)(A...)) {             \
    return static_cast<int>(sizeof...(A));    \
  }(static_cast<int(*) params>(nullptr)),
    HALVANE_CONTROLLER_EXPORTS(HALVANE_ARG_COUNT)
#undef HALVANE_ARG_COUNT
};

// Counters run at 10 MHz or at the processor's clock; far beyond that the file is damaged.
constexpr int64_t kMostTicksPerSecond = 1'000'000'000'000;

}  // namespace

bool isRingTrace(std::string_view bytes) {
  return bytes.size() >= sizeof kRingMagic &&
         std::memcmp(bytes.data(), kRingMagic, sizeof kRingMagic) == 0;
}

RingReader::RingReader(std::string_view bytes) : bytes_(bytes) {
  if (!isRingTrace(bytes) || bytes.size() < kRingPageBytes) {
    problem_ = "not a ring trace";
    phase_ = Phase::Done;
    return;
  }
  startSlots_ = readAt<uint32_t>(bytes, offsetof(RingFacts, startSlots));
  ringSlots_ = readAt<uint64_t>(bytes, offsetof(RingFacts, ringSlots));
  ticksPerSecond_ = readAt<int64_t>(bytes, offsetof(RingFacts, ticksPerSecond));
  originTicks_ = readAt<int64_t>(bytes, offsetof(RingFacts, originTicks));
  claimed_ = readAt<uint64_t>(bytes, offsetof(RingFacts, claimed));
  extraSlots_ = readAt<uint64_t>(bytes, offsetof(RingFacts, extraSlots));
  const uint64_t slots = (bytes.size() - kRingPageBytes) / kSlotBytes;
  if (readAt<uint32_t>(bytes, offsetof(RingFacts, slotBytes)) != kSlotBytes ||
      ticksPerSecond_ <= 0 || ticksPerSecond_ > kMostTicksPerSecond || ringSlots_ == 0 ||
      startSlots_ > slots || ringSlots_ > slots - startSlots_ || extraSlots_ > claimed_) {
    problem_ = "the ring trace's facts do not fit its size (a damaged file)";
    phase_ = Phase::Done;
    return;
  }
  ringFrom_ = claimed_ > startSlots_ + ringSlots_ ? claimed_ - ringSlots_ : startSlots_;
}

uint32_t RingReader::stampAt(uint64_t claim) const {
  const uint64_t index =
      claim < startSlots_ ? claim : startSlots_ + (claim - startSlots_) % ringSlots_;
  // Within the file: its facts were checked against its size.
  return readAt<uint32_t>(bytes_, static_cast<size_t>(kRingPageBytes + index * kSlotBytes));
}

const unsigned char* RingReader::dataAt(uint64_t claim) const {
  const uint64_t index =
      claim < startSlots_ ? claim : startSlots_ + (claim - startSlots_) % ringSlots_;
  return reinterpret_cast<const unsigned char*>(bytes_.data()) + kRingPageBytes +
         index * kSlotBytes + sizeof(uint32_t);
}

int64_t RingReader::microseconds(int64_t ticks) const {
  // A damaged time is held to a range (over 100,000 years) in which no sum or difference of two
  // times overflows.
  constexpr int64_t kMostSeconds = int64_t{1} << 42;
  const auto t =
      static_cast<int64_t>(static_cast<uint64_t>(ticks) - static_cast<uint64_t>(originTicks_));
  const int64_t seconds = std::clamp(t / ticksPerSecond_, -kMostSeconds, kMostSeconds);
  return seconds * 1'000'000 + t % ticksPerSecond_ * 1'000'000 / ticksPerSecond_;
}

// Records that begin in [from, to), a run of slots cut off mid-write counted as one.
uint64_t RingReader::countRecords(uint64_t from, uint64_t to) const {
  uint64_t count = 0;
  bool inCut = false;
  for (uint64_t c = from; c < to; ++c) {
    const uint32_t stamp = stampAt(c);
    if (stamp == slotStamp(c)) {
      ++count;
      inCut = false;
    } else if (stamp != slotStamp(c, true)) {
      count += inCut ? 0 : 1;
      inCut = true;
    }
  }
  return count;
}

std::optional<Record> RingReader::take(uint64_t end) {
  const uint64_t claim = at_;
  if (stampAt(claim) != slotStamp(claim)) {
    // A continuation whose first slot was overwritten, or a slot never committed.
    if (stampAt(claim) != slotStamp(claim, true)) {
      ++cutOff_;
      while (at_ + 1 < end && stampAt(at_ + 1) != slotStamp(at_ + 1) &&
             stampAt(at_ + 1) != slotStamp(at_ + 1, true)) {
        ++at_;
      }
    }
    ++at_;
    return std::nullopt;
  }
  RecordHead head;
  std::memcpy(&head, dataAt(claim), kHeadBytes);
  const uint64_t count = head.slots == 0 ? 1 : head.slots;
  for (uint64_t k = 1; k < count; ++k) {
    // A record may run on past the end of the start into the ring: whole where the ring kept it.
    if (claim + k >= claimed_ || stampAt(claim + k) != slotStamp(claim + k, true)) {
      ++cutOff_;
      at_ = claim + k;
      return std::nullopt;
    }
  }
  assembled_.clear();
  for (uint64_t k = 0; k < count; ++k) {
    const unsigned char* data = dataAt(claim + k);
    assembled_.insert(assembled_.end(), data, data + kSlotDataBytes);
  }
  at_ = claim + count;
  lastTicks_ = std::max(lastTicks_, head.ticks);
  return decode(head, assembled_.data() + kHeadBytes, assembled_.size() - kHeadBytes, claim);
}

std::optional<Record> RingReader::decode(const RecordHead& head, const unsigned char* body,
                                         size_t bytes, uint64_t claim) {
  Record r;
  r.timeUs = microseconds(head.ticks);
  r.threadId = head.threadId;
  switch (head.kind) {
    case RingKind::CallBegin:
    case RingKind::CallEnd:
    case RingKind::Missing: {
      CallBody call;
      std::memcpy(&call, body, sizeof call);
      if (call.exportIndex >= kControllerExportCount) {
        ++cutOff_;
        return std::nullopt;
      }
      r.kind = Kind::Call;
      r.name = kControllerExportNames[call.exportIndex];
      r.args = callArgs(call, kArgCounts[call.exportIndex]);
      if (head.kind == RingKind::Missing) {
        r.missing = true;
        return r;
      }
      const uint32_t key =
          static_cast<uint32_t>(head.kind == RingKind::CallBegin ? claim : call.beginClaim);
      if (head.kind == RingKind::CallBegin) {
        open_[key] = Open{std::move(r), head.ticks};
        openOrder_.push_back(key);
        return std::nullopt;
      }
      open_.erase(key);
      r.timeUs = microseconds(call.startTicks);
      r.tookUs = microseconds(head.ticks) - r.timeUs;
      r.result = call.result;
      if ((call.flags & kCallVendorUnloaded) != 0) {
        r.fields.push_back({"vendor", "unloaded"});
      } else if ((call.flags & kCallHasOut) != 0) {
        r.out = call.out;
        if ((call.flags & kCallOutSame) != 0) {
          r.fields.push_back({"out_same", "1"});
        }
      }
      return r;
    }
    case RingKind::Callback: {
      CallbackBody callback;
      std::memcpy(&callback, body, sizeof callback);
      switch (callback.which) {
        case CallbackId::Online:
          r = onlineCallbackRecord(callback.args[0], callback.args[1]);
          break;
        case CallbackId::Spare:
          r = spareCallbackRecord(callback.args[0]);
          break;
        case CallbackId::Status:
          r = statusCallbackRecord(callback.args[0], callback.args[1],
                                   callback.statusNull != 0 ? nullptr : callback.statusBytes,
                                   callback.args[2]);
          break;
        default:
          ++cutOff_;
          return std::nullopt;
      }
      r.timeUs = microseconds(head.ticks);
      r.threadId = head.threadId;
      return r;
    }
    case RingKind::Crash: {
      CrashBody crash;
      std::memcpy(&crash, body, sizeof crash);
      r.kind = Kind::Crash;
      r.fields = {{"code", hexValue(crash.code, 8)},
                  {"address", hexValue(crash.address, crash.address >> 32 != 0 ? 16 : 8)}};
      return r;
    }
    case RingKind::Text: {
      if (head.textBytes > bytes) {
        ++cutOff_;
        return std::nullopt;
      }
      const std::string line =
          formatLine(r.timeUs, r.threadId,
                     std::string_view(reinterpret_cast<const char*>(body), head.textBytes));
      std::string error;
      auto parsed = parseLine(line, error);
      if (!parsed) {
        ++cutOff_;
      }
      return parsed;
    }
  }
  ++cutOff_;
  return std::nullopt;
}

std::optional<Record> RingReader::next() {
  for (;;) {
    switch (phase_) {
      case Phase::Start: {
        const uint64_t end = std::min<uint64_t>(claimed_, startSlots_);
        if (at_ >= end) {
          phase_ = Phase::Dropped;
          break;
        }
        if (auto r = take(end)) {
          return r;
        }
        break;
      }
      case Phase::Dropped: {
        phase_ = Phase::Ring;
        const uint64_t startEnd = std::max<uint64_t>(at_, startSlots_);
        at_ = std::max(ringFrom_, startEnd);
        if (ringFrom_ > startSlots_) {
          const uint64_t total = claimed_ - extraSlots_;
          const uint64_t seen = countRecords(0, std::min<uint64_t>(claimed_, startSlots_)) +
                                countRecords(ringFrom_, claimed_);
          // A call begun in the kept start may have returned among the records dropped: whether
          // it did, the trace cannot tell, so it is not shown in flight.
          const size_t unknown = open_.size();
          open_.clear();
          Record r = eventRecord(kRecordsDropped,
                                 {{"count", std::to_string(total > seen ? total - seen : 0)},
                                  {"why", "the ring overwrote them"}});
          if (unknown > 0) {
            r.fields.push_back(
                {"calls_begun_before_whose_end_is_unknown", std::to_string(unknown)});
          }
          r.timeUs = microseconds(lastTicks_);
          return r;
        }
        break;
      }
      case Phase::Ring:
        if (at_ >= claimed_) {
          phase_ = Phase::Unfinished;
          break;
        }
        if (auto r = take(claimed_)) {
          return r;
        }
        break;
      case Phase::Unfinished:
        while (unfinishedAt_ < openOrder_.size()) {
          const auto it = open_.find(openOrder_[unfinishedAt_++]);
          if (it == open_.end()) {
            continue;
          }
          Record r = std::move(it->second.call);
          open_.erase(it);
          r.kind = Kind::InFlight;
          r.fields = {{"for", formatMs(microseconds(lastTicks_) - r.timeUs)}, {"returned", "no"}};
          r.timeUs = microseconds(lastTicks_);
          return r;
        }
        phase_ = Phase::Done;
        if (cutOff_ > 0) {
          Record r = eventRecord(kRecordsCutOff,
                                 {{"count", std::to_string(cutOff_)},
                                  {"why", "their writing was cut off or they are damaged"}});
          r.timeUs = microseconds(lastTicks_);
          return r;
        }
        break;
      case Phase::Done:
        return std::nullopt;
    }
  }
}

double RingReader::fraction() const {
  const uint64_t start = std::min<uint64_t>(claimed_, startSlots_);
  const uint64_t ringStart = std::max<uint64_t>(ringFrom_, startSlots_);
  const uint64_t total = start + (claimed_ > ringStart ? claimed_ - ringStart : 0);
  uint64_t done = total;
  if (phase_ == Phase::Start || phase_ == Phase::Dropped) {
    done = std::min(at_, start);
  } else if (phase_ == Phase::Ring) {
    done = start + (at_ > ringStart ? at_ - ringStart : 0);
  }
  return total == 0 ? 1.0 : std::min(1.0, static_cast<double>(done) / static_cast<double>(total));
}

ReadResult readRingTrace(std::string_view bytes) {
  ReadResult result;
  RingReader reader(bytes);
  if (!reader.problem().empty()) {
    result.error = ReadError{1, reader.problem(), false};
    return result;
  }
  while (auto r = reader.next()) {
    result.records.push_back(std::move(*r));
  }
  return result;
}

ReadResult readAnyTrace(std::string_view bytes) {
  return isRingTrace(bytes) ? readRingTrace(bytes) : readTrace(bytes);
}

std::string traceText(std::string_view bytes) {
  std::string text;
  for (const Record& r : readAnyTrace(bytes).records) {
    text += formatRecord(r);
    text += kLineEnd;
  }
  return text;
}

}  // namespace halvane::trace
