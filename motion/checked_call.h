// The caller's half of the controller call rule: a failed call shows its caller's text.
#pragma once

#include "motion/motion_context.h"

namespace halvane {

// True when the call succeeded or was skipped; otherwise shows `failureText` first.
inline bool checked(MotionContext& context, CallOutcome outcome, const char* failureText) {
  if (succeeded(outcome)) {
    return true;
  }
  context.alerts.alert(failureText);
  return false;
}

}  // namespace halvane
