// Steps an operator takes again and again, for the end-to-end cases.
#pragma once

#include <chrono>

#include "driver/program_session.h"
#include "driver/wait_until.h"
#include "ui/resource_ids.h"

namespace halvane::e2e {

inline constexpr int kCommandButtons[] = {1013, 1014, 1015, 1033, 1034, 1035, 1004, 1005};
// The online check runs three seconds after Open; allow for a slow machine beyond that.
inline constexpr std::chrono::milliseconds kCheckWait{8000};

inline bool commandButtonsAre(const WindowProbe& window, bool enabled) {
  for (int id : kCommandButtons) {
    if (window.isEnabled(id) != enabled) {
      return false;
    }
  }
  return true;
}

inline bool waitForCommandButtons(const WindowProbe& window, bool enabled,
                                  std::chrono::milliseconds timeout = kDefaultWait) {
  return waitUntil([&] { return commandButtonsAre(window, enabled); }, timeout);
}

// Open, then the check three seconds later configures both nodes and gives the buttons.
inline bool openAndConfigure(ProgramSession& session) {
  session.window().click(IDC_OPEN);
  return waitUntil([&] { return session.window().isEnabled(IDC_CLOSE); }) &&
         waitForCommandButtons(session.window(), true, kCheckWait);
}

}  // namespace halvane::e2e
