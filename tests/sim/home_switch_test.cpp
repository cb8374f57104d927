#include "sim/home_switch.h"

#include <gtest/gtest.h>

namespace halvane::sim {
namespace {

constexpr int32_t kQuarter = kWheelUnitsPerRevolution / 4;  // 90 degrees

TEST(HomeSwitch, ArcIsThreePointSixDegreesFromZero) {
  EXPECT_TRUE(onSwitch(0));
  EXPECT_TRUE(onSwitch(wheelUnitsFromDegrees(3.5)));
  EXPECT_FALSE(onSwitch(wheelUnitsFromDegrees(3.6)));
  EXPECT_FALSE(onSwitch(wheelUnitsFromDegrees(359.9)));
  EXPECT_FALSE(onSwitch(kQuarter));
}

TEST(HomeSwitch, DegreesConvertBothWaysAndWrap) {
  EXPECT_EQ(wheelUnitsFromDegrees(90), kQuarter);
  EXPECT_EQ(wheelUnitsFromDegrees(450), kQuarter);
  EXPECT_EQ(wheelUnitsFromDegrees(-270), kQuarter);
  EXPECT_DOUBLE_EQ(degreesFromWheelUnits(kQuarter), 90.0);
}

TEST(HomeSwitch, ForwardsFromAQuarterEntersAtTheFullTurn) {
  // Microstep 32: 8 units a step.
  EXPECT_EQ(stepsToEnterSwitch(kQuarter, 8), (kWheelUnitsPerRevolution - kQuarter) / 8);
}

TEST(HomeSwitch, BackwardsFromAQuarterEntersAtTheArcsEnd) {
  const int64_t steps = stepsToEnterSwitch(kQuarter, -8);
  EXPECT_EQ(steps, (kQuarter - kSwitchArcEnd) / 8 + 1);
  EXPECT_TRUE(onSwitch(turnWheel(kQuarter, -8, steps)));
  EXPECT_FALSE(onSwitch(turnWheel(kQuarter, -8, steps - 1)));
}

TEST(HomeSwitch, FromOnTheSwitchEnteringTakesAWholeTurnAround) {
  EXPECT_EQ(stepsToEnterSwitch(100, 256), (kWheelUnitsPerRevolution - 100 + 255) / 256);
  EXPECT_GT(stepsToEnterSwitch(100, -1), kWheelUnitsPerRevolution - kSwitchArcEnd);
}

TEST(HomeSwitch, LeavingFromOnTheSwitch) {
  EXPECT_EQ(stepsToLeaveSwitch(100, 1), kSwitchArcEnd - 100);
  EXPECT_EQ(stepsToLeaveSwitch(100, -1), 101);
}

TEST(HomeSwitch, NoStepJumpsOverTheArc) {
  for (int32_t from = 0; from < kWheelUnitsPerRevolution; from += 97) {
    for (int32_t delta : {256, -256, 1, -1, 8, -128}) {
      EXPECT_TRUE(onSwitch(turnWheel(from, delta, stepsToEnterSwitch(from, delta))))
          << from << " " << delta;
    }
  }
}

TEST(HomeSwitch, CountsEntriesOverSeveralTurns) {
  const int32_t delta = 128;  // microstep 2: 400 steps a turn
  EXPECT_EQ(switchEntriesWithin(kQuarter, delta, 299), 0);
  EXPECT_EQ(switchEntriesWithin(kQuarter, delta, 300), 1);
  EXPECT_EQ(switchEntriesWithin(kQuarter, delta, 300 + 400 * 2), 3);
}

TEST(HomeSwitch, TurningWraps) {
  EXPECT_EQ(turnWheel(kQuarter, 256, 200), kQuarter);
  EXPECT_EQ(turnWheel(0, -1, 1), kWheelUnitsPerRevolution - 1);
  EXPECT_EQ(turnWheel(0, 1, 4000000000LL),
            static_cast<int32_t>(4000000000LL % kWheelUnitsPerRevolution));
}

}  // namespace
}  // namespace halvane::sim
