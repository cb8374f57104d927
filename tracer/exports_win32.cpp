// The stand-in's 21 exports, made from the export table: each hands its call to the tracer, with
// its place in the table fixed when it is built.
#include <type_traits>

#include "common/controller_exports.h"
#include "common/export_names.h"
#include "tracer/forwarding_tracer.h"

namespace halvane::tracer {

ForwardingTracer& standInTracer();
void watchOperatorOnThisThread(ForwardingTracer& tracer);

namespace {

// Forwarder<Index, Fn>{} (a, b) forwards a table row's parenthesised arguments.
template <int Index, class Fn>
struct Forwarder {
  template <class... A>
  int operator()(A... args) const {
    ForwardingTracer& tracer = standInTracer();
    watchOperatorOnThisThread(tracer);
    if constexpr (std::is_same_v<Fn, PCAN_SetEventCallback_fn>) {
      return tracer.setEventCallback(args...);
    } else {
      return tracer.forward<Index, Fn>(args...);
    }
  }
};

}  // namespace
}  // namespace halvane::tracer

#define HALVANE_TRACER_DEFINE_EXPORT(name, params, args)                      \
  extern "C" __declspec(dllexport) int HALVANE_STDCALL name params {          \
    return halvane::tracer::Forwarder<*halvane::controllerExportIndex(#name), \
                                      halvane::name##_fn> {}                  \
    args;                                                                     \
  }
HALVANE_CONTROLLER_EXPORTS(HALVANE_TRACER_DEFINE_EXPORT)
#undef HALVANE_TRACER_DEFINE_EXPORT
