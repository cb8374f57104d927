// The stand-in's 21 exports, made from the export table: each hands its call to the tracer.
#include <type_traits>

#include "common/controller_exports.h"
#include "tracer/forwarding_tracer.h"

namespace halvane::tracer {

ForwardingTracer& standInTracer();
void watchOperatorOnThisThread(CallLog& log);

namespace {

// Forwarder<Fn>{name} (a, b) forwards a table row's parenthesised arguments.
template <class Fn>
struct Forwarder {
  const char* name;
  template <class... A>
  int operator()(A... args) const {
    watchOperatorOnThisThread(standInTracer().log());
    if constexpr (std::is_same_v<Fn, PCAN_SetEventCallback_fn>) {
      return standInTracer().setEventCallback(args...);
    } else {
      return standInTracer().forward<Fn>(name, args...);
    }
  }
};

}  // namespace
}  // namespace halvane::tracer

#define HALVANE_TRACER_DEFINE_EXPORT(name, params, args)               \
  extern "C" __declspec(dllexport) int HALVANE_STDCALL name params {   \
    return halvane::tracer::Forwarder<halvane::name##_fn>{#name} args; \
  }
HALVANE_CONTROLLER_EXPORTS(HALVANE_TRACER_DEFINE_EXPORT)
#undef HALVANE_TRACER_DEFINE_EXPORT
