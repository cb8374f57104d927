// The About command and where the icon of a minimised window goes.
#include <gtest/gtest.h>

#include "ui/window_chrome.h"

namespace halvane {
namespace {

TEST(WindowChromeTest, AboutIsSixteenWhateverTheLowFourBits) {
  for (unsigned command = 16; command <= 31; ++command) {
    EXPECT_TRUE(isAboutCommand(command)) << command;
  }
  for (unsigned command : {0u, 15u, 32u, 0xF010u, 0xF060u /* close */, 0xF020u /* minimise */}) {
    EXPECT_FALSE(isAboutCommand(command)) << command;
  }
}

TEST(WindowChromeTest, IconIsCentredRoundingUpAndTruncatingTowardZero) {
  struct Case {
    int clientWidth, clientHeight, iconWidth, iconHeight, x, y;
  };
  const Case cases[] = {
      {160, 100, 32, 32, 64, 34},
      {33, 32, 32, 32, 1, 0},
      {0, 0, 32, 32, -15, -15},
      {0, 10, 48, 11, -23, 0},
      {INT32_MAX, INT32_MIN, 0, 0, 1073741824, -1073741823},
  };
  for (const Case& c : cases) {
    const IconPlace place =
        centredIconPlace(c.clientWidth, c.clientHeight, c.iconWidth, c.iconHeight);
    EXPECT_EQ(place.x, c.x) << c.clientWidth;
    EXPECT_EQ(place.y, c.y) << c.clientHeight;
  }
}

}  // namespace
}  // namespace halvane
