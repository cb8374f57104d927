#include "controller/event_callbacks.h"

#include <atomic>

namespace halvane {
namespace {

// The main window's axes, published once its initialisation is done; read on the library's thread.
std::atomic<const AxisPair*> callbackAxes{nullptr};

CMotorAxis* axisForNode(int node) {
  const AxisPair* axes = callbackAxes.load();
  return axes == nullptr ? nullptr : axes->forNode(node);
}

}  // namespace

int HALVANE_STDCALL OnlineCallback(int node, int state) {
  if (CMotorAxis* axis = axisForNode(node)) {
    axis->setOnline(state == kNodeOnlineState);
  }
  return 0;
}

int HALVANE_STDCALL SpareCallback(int /*value*/) {
  return 0;
}

int HALVANE_STDCALL StatusCallback(int node, int kind, unsigned char* status, int /*value*/) {
  if (kind != kStatusKindMotion || status == nullptr) {
    return 0;
  }
  if (CMotorAxis* axis = axisForNode(node)) {
    axis->reportMotion((status[1] & kStatusMoving) != 0);
  }
  return 0;
}

void registerCallbacks(ControllerLink& link) {
  link.PCAN_SetEventCallback(&OnlineCallback, &SpareCallback, &StatusCallback);
}

void publishCallbackAxes(const AxisPair* axes) {
  callbackAxes.store(axes);
}

}  // namespace halvane
