#include "ui/window_chrome.h"

#include <cstdint>

namespace halvane {
namespace {

// Signed division truncates toward zero; 64 bits keep extreme sizes from overflowing.
int centre(int area, int item) {
  return static_cast<int>((int64_t{area} - item + 1) / 2);
}

}  // namespace

IconPlace centredIconPlace(int clientWidth, int clientHeight, int iconWidth, int iconHeight) {
  return {centre(clientWidth, iconWidth), centre(clientHeight, iconHeight)};
}

}  // namespace halvane
