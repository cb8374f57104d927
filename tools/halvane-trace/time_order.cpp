#include "tools/halvane-trace/time_order.h"

#include <algorithm>
#include <limits>

namespace halvane::tools {
namespace {

// A call said to take longer (a hung call, a damaged line) holds no more of the trace than this.
constexpr int64_t kMaxReorderUs = 60'000'000;

}  // namespace

int64_t callDuration(const trace::Record& r) {
  return r.tookUs.value_or(r.busUs.value_or(0));
}

TimeOrder::TimeOrder(Take take)
    : take_(std::move(take)), writtenUs_(std::numeric_limits<int64_t>::min()) {}

void TimeOrder::add(const trace::Record& r, size_t line) {
  const int64_t took = r.kind == trace::Kind::Call ? callDuration(r) : 0;
  windowUs_ = std::max(windowUs_, std::clamp<int64_t>(took, 0, kMaxReorderUs));
  writtenUs_ = std::max(writtenUs_, r.timeUs + std::max<int64_t>(took, 0));
  pending_.push(TraceLine{r, line});
  takeUpTo(writtenUs_ - windowUs_);
}

void TimeOrder::finish() {
  takeUpTo(std::numeric_limits<int64_t>::max());
}

void TimeOrder::takeUpTo(int64_t untilUs) {
  while (!pending_.empty() && pending_.top().timeUs <= untilUs) {
    take_(pending_.top());
    pending_.pop();
  }
}

}  // namespace halvane::tools
