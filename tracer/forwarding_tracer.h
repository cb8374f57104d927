// Every export of the stand-in comes here: the call is forwarded unchanged to the vendor's
// library on the caller's thread and traced as a begin before it and an end after it, with the
// out-value as the vendor left it and whether the call changed it. An export the vendor lacks is
// answered as the program treats a skipped call (result 0, out-values untouched) and traced as
// missing. PCAN_SetEventCallback hands the vendor the stand-in's own callbacks, which trace and
// then call the program's on the same thread, returning its result. A call costs a few stores into
// the trace: no lock, no heap, no system call.
#pragma once

#include <atomic>
#include <type_traits>

#include "common/controller_exports.h"
#include "trace/ring_writer.h"
#include "trace/trace_record.h"
#include "tracer/tracer_seams.h"

namespace halvane::tracer {

// Answer to every call when the vendor's library is there but could not be loaded: a failure.
inline constexpr int kVendorUnloadedResult = -1;

// The arguments of a call as the trace holds them: numbers as they are, pointers as null or not;
// an int* out-value also by the value it points to before the call.
template <class... A>
trace::CallBody callBody(int exportIndex, A... args) {
  trace::CallBody call{};
  call.exportIndex = static_cast<uint8_t>(exportIndex);
  [[maybe_unused]] int i = 0;
  (
      [&](auto arg) {
        if constexpr (std::is_pointer_v<decltype(arg)>) {
          call.flags |= static_cast<uint8_t>(trace::kArgIsPointer << i);
          if (arg == nullptr) {
            call.flags |= static_cast<uint8_t>(trace::kArgIsNull << i);
          } else if constexpr (std::is_same_v<decltype(arg), int*>) {
            call.args[i] = *arg;
          }
        } else {
          call.args[i] = arg;
        }
        ++i;
      }(args),
      ...);
  return call;
}

// After the call: the out-value as it stands, and whether it is the one before.
template <class... A>
void noteOutValue(trace::CallBody& call, A... args) {
  [[maybe_unused]] int i = 0;
  (
      [&](auto arg) {
        if constexpr (std::is_same_v<decltype(arg), int*>) {
          if (arg != nullptr) {
            call.flags |= trace::kCallHasOut;
            call.out = *arg;
            if (*arg == call.args[i]) {
              call.flags |= trace::kCallOutSame;
            }
          }
        }
        ++i;
      }(args),
      ...);
}

class ForwardingTracer {
 public:
  ForwardingTracer(trace::RingWriter& ring, TracerClock& clock, const VendorExports& vendor)
      : ring_(ring), clock_(clock), vendor_(vendor) {}

  template <int Index, class Fn, class... A>
  int forward(A... args) {
    trace::CallBody call = callBody(Index, args...);
    const uint32_t thread = clock_.threadId();
    if (!vendor_.loaded) {
      call.startTicks = clock_.nowTicks();
      call.beginClaim = static_cast<uint32_t>(ring_.callBegin(thread, call.startTicks, call));
      call.result = kVendorUnloadedResult;
      call.flags |= trace::kCallVendorUnloaded;
      ring_.callEnd(thread, call.startTicks, call);
      return kVendorUnloadedResult;
    }
    const auto fn = reinterpret_cast<Fn>(vendor_.exports[Index]);
    if (fn == nullptr) {
      ring_.missing(thread, clock_.nowTicks(), call);
      return 0;
    }
    call.startTicks = clock_.nowTicks();
    call.beginClaim = static_cast<uint32_t>(ring_.callBegin(thread, call.startTicks, call));
    call.result = fn(args...);
    const int64_t endTicks = clock_.nowTicks();
    noteOutValue(call, args...);
    ring_.callEnd(thread, endTicks, call);
    return call.result;
  }

  // PCAN_SetEventCallback: the program's callbacks are kept, the stand-in's handed on (null ones
  // stay null).
  int setEventCallback(OnlineCallbackFn online, SpareCallbackFn spare, StatusCallbackFn status);

  // A line made off the calls' path (header, event, operator step), stamped now on this thread.
  void write(const trace::Record& record);
  void crash(uint32_t code, uint64_t address);

  // The one tracer the stand-in's callbacks report to.
  static void install(ForwardingTracer* tracer);

 private:
  static int HALVANE_STDCALL onlineHook(int node, int state);
  static int HALVANE_STDCALL spareHook(int value);
  static int HALVANE_STDCALL statusHook(int node, int kind, unsigned char* status, int value);
  void traceCallback(const trace::CallbackBody& callback);

  trace::RingWriter& ring_;
  TracerClock& clock_;
  const VendorExports& vendor_;
  std::atomic<OnlineCallbackFn> online_{nullptr};
  std::atomic<SpareCallbackFn> spare_{nullptr};
  std::atomic<StatusCallbackFn> status_{nullptr};
};

}  // namespace halvane::tracer
