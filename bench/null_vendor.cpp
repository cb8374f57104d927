// A vendor library whose calls take no time: every export returns 0 at once. Behind the
// recording stand-in it leaves the stand-in's own cost alone to be measured.
#include "common/controller_exports.h"

#define HALVANE_NULL_EXPORT(name, params, args)                      \
  extern "C" __declspec(dllexport) int HALVANE_STDCALL name params { \
    return 0;                                                        \
  }
HALVANE_CONTROLLER_EXPORTS(HALVANE_NULL_EXPORT)
#undef HALVANE_NULL_EXPORT
