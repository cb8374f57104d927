// The application: start-up, one modal run of the main window, and no tear-down.
#pragma once

#include <windows.h>

namespace halvane {

class CHalvaneApp {
 public:
  // Always false: there is no application message loop; the process ends when this returns.
  bool initInstance(HINSTANCE instance);
};

}  // namespace halvane
