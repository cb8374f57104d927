// A vendor library whose calls take no time: every export returns 0 at once. Behind the
// recording stand-in it leaves the stand-in's own cost alone to be measured. It keeps the status
// callback it is given, and HalvaneBench_Status makes one status report on the caller's thread, as
// the vendor's receive thread would.
#include "common/controller_exports.h"

namespace {

halvane::StatusCallbackFn statusCallback = nullptr;

template <class... A>
int answer(A...) {
  return 0;
}
int answer(halvane::OnlineCallbackFn, halvane::SpareCallbackFn, halvane::StatusCallbackFn status) {
  statusCallback = status;
  return 0;
}

}  // namespace

#define HALVANE_NULL_EXPORT(name, params, args)                      \
  extern "C" __declspec(dllexport) int HALVANE_STDCALL name params { \
    return answer args;                                              \
  }
HALVANE_CONTROLLER_EXPORTS(HALVANE_NULL_EXPORT)
#undef HALVANE_NULL_EXPORT

extern "C" __declspec(dllexport) int HALVANE_STDCALL HalvaneBench_Status(int node) {
  unsigned char bytes[2] = {0x00, 0x08};
  return statusCallback == nullptr ? -1 : statusCallback(node, 0, bytes, 0);
}
