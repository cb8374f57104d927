// The arithmetic of the main window's chrome, apart from the window itself.
#pragma once

#include "ui/resource_ids.h"

namespace halvane {

// The system keeps its own flags in the low four bits of a system command.
constexpr bool isAboutCommand(unsigned command) {
  return (command & 0xFFF0u) == IDM_ABOUTBOX;
}

struct IconPlace {
  int x;
  int y;
};

// Where the icon goes in the client area of a minimised window: centred, rounding up, and
// negative when the area is smaller than the icon.
IconPlace centredIconPlace(int clientWidth, int clientHeight, int iconWidth, int iconHeight);

}  // namespace halvane
