// Every export of the stand-in comes here: the call is forwarded unchanged to the vendor's
// library on the caller's thread and traced, with the out-value where the call succeeded. An
// export the vendor lacks is answered as the
// program treats a skipped call (result 0, out-values untouched) and traced as missing.
// PCAN_SetEventCallback hands the vendor the stand-in's own callbacks, which trace and then call
// the program's on the same thread, returning its result.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "common/controller_exports.h"
#include "trace/trace_writer.h"
#include "tracer/call_log.h"

namespace halvane::tracer {

// Answer to every call when the vendor's library is there but could not be loaded: a failure.
inline constexpr int kVendorUnloadedResult = -1;

inline std::string argText(int value) {
  return std::to_string(value);
}
inline std::string argText(const int* pointer) {
  return trace::pointerArg(pointer);
}
inline std::string argText(OnlineCallbackFn fn) {
  return fn == nullptr ? "null" : "&";
}
inline std::string argText(SpareCallbackFn fn) {
  return fn == nullptr ? "null" : "&";
}
inline std::string argText(StatusCallbackFn fn) {
  return fn == nullptr ? "null" : "&";
}

// The out-value of an export's int* parameter, as the vendor left it.
template <class... A>
std::optional<int> outValue(A... args) {
  std::optional<int> out;
  (
      [&](auto arg) {
        if constexpr (std::is_same_v<decltype(arg), int*>) {
          if (arg != nullptr) {
            out = *arg;
          }
        }
      }(args),
      ...);
  return out;
}

class ForwardingTracer {
 public:
  ForwardingTracer(CallLog& log, VendorLookup& vendor) : log_(log), vendor_(vendor) {}

  template <class Fn, class... A>
  int forward(const char* name, A... args) {
    if (!vendor_.loaded()) {
      const auto id = log_.begin(name, {argText(args)...});
      log_.end(id, kVendorUnloadedResult, std::nullopt, {{"vendor", "unloaded"}});
      return kVendorUnloadedResult;
    }
    const auto fn = reinterpret_cast<Fn>(vendor_.find(name));
    if (fn == nullptr) {
      log_.missing(name, {argText(args)...});
      return 0;
    }
    const auto id = log_.begin(name, {argText(args)...});
    const int result = fn(args...);
    // A failed call's out-value is whatever the program put there before: not the vendor's.
    log_.end(id, result, result == 0 ? outValue(args...) : std::nullopt);
    return result;
  }

  // PCAN_SetEventCallback: the program's callbacks are kept, the stand-in's handed on (null ones
  // stay null).
  int setEventCallback(OnlineCallbackFn online, SpareCallbackFn spare, StatusCallbackFn status);

  CallLog& log() { return log_; }

  // The one tracer the stand-in's callbacks report to.
  static void install(ForwardingTracer* tracer);

 private:
  static int HALVANE_STDCALL onlineHook(int node, int state);
  static int HALVANE_STDCALL spareHook(int value);
  static int HALVANE_STDCALL statusHook(int node, int kind, unsigned char* status, int value);

  CallLog& log_;
  VendorLookup& vendor_;
  std::atomic<OnlineCallbackFn> online_{nullptr};
  std::atomic<SpareCallbackFn> spare_{nullptr};
  std::atomic<StatusCallbackFn> status_{nullptr};
};

}  // namespace halvane::tracer
