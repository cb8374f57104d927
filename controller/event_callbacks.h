// The library's callbacks, turned into each axis record's online flag and idle event.
#pragma once

#include "common/controller_exports.h"
#include "controller/controller_link.h"
#include "controller/motor_axis.h"

namespace halvane {

int HALVANE_STDCALL OnlineCallback(int node, int state);
int HALVANE_STDCALL SpareCallback(int value);
int HALVANE_STDCALL StatusCallback(int node, int kind, unsigned char* status, int value);

// Hands the three callbacks to the library, if it is loaded and exports PCAN_SetEventCallback.
void registerCallbacks(ControllerLink& link);

// The records the callbacks act on (the main window's two axes). Until this is called, and after
// it is called with nullptr, callbacks do nothing. The pair must outlive every callback.
void publishCallbackAxes(const AxisPair* axes);

}  // namespace halvane
