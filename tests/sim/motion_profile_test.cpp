#include "sim/motion_profile.h"

#include <gtest/gtest.h>

namespace halvane::sim {
namespace {

TEST(MotionProfile, StartSpeedAtOrAboveCruiseRunsAtCruiseSpeedThroughout) {
  const Profile p = makeProfile(1600, 5000, 800, 5000, 2000, 2000);
  EXPECT_DOUBLE_EQ(p.speed, 800);
  EXPECT_NEAR(profileDuration(p), 2.0, 1e-9);
}

TEST(MotionProfile, TrapezoidTakesRampUpCruiseAndRampDown) {
  const double a = 12000;
  const Profile p = makeProfile(6400, 600, 4000, 600, a, a);
  const double ramp = (4000.0 - 600.0) / a;
  const double rampDistance = (4000.0 * 4000.0 - 600.0 * 600.0) / (2 * a);
  const double expected = 2 * ramp + (6400 - 2 * rampDistance) / 4000.0;
  EXPECT_NEAR(profileDuration(p), expected, 1e-9);
}

TEST(MotionProfile, ShortMoveNeverReachesCruiseSpeed) {
  const Profile start = makeProfile(100, 600, 4000, 600, 2000, 2000);
  double peak = 0;
  Profile p = start;
  while (!p.finished()) {
    p = advanceProfile(p, 0.001);
    peak = std::max(peak, p.speed);
  }
  EXPECT_LT(peak, 4000);
  EXPECT_GT(peak, 600);
  EXPECT_DOUBLE_EQ(p.travelled, 100);
}

TEST(MotionProfile, OneBigStepAndManySmallOnesEndAlike) {
  const Profile start = makeProfile(9600, 600, 800, 600, 12000, 12000);
  const double total = profileDuration(start);
  Profile fine = start;
  int ticks = 0;
  while (!fine.finished()) {
    fine = advanceProfile(fine, 0.002);
    ++ticks;
  }
  EXPECT_NEAR(ticks * 0.002, total, 0.002 + 1e-9);
  const Profile coarse = advanceProfile(start, total + 1);
  EXPECT_TRUE(coarse.finished());
  EXPECT_DOUBLE_EQ(coarse.travelled, fine.travelled);
}

TEST(MotionProfile, TravelledGrowsAndSpeedStaysWithinTheLimits) {
  Profile p = makeProfile(5000, 100, 3000, 200, 4000, 8000);
  double last = 0;
  while (!p.finished()) {
    p = advanceProfile(p, 0.003);
    EXPECT_GE(p.travelled, last);
    EXPECT_LE(p.speed, 3000 + 1e-9);
    EXPECT_GE(p.speed, 0);
    last = p.travelled;
  }
}

TEST(MotionProfile, ZeroDistanceIsFinishedAtOnce) {
  EXPECT_TRUE(makeProfile(0, 600, 4000, 600, 2000, 2000).finished());
  EXPECT_DOUBLE_EQ(profileDuration(makeProfile(0, 600, 4000, 600, 2000, 2000)), 0);
}

TEST(MotionProfile, StartingFromStandstillStillArrives) {
  const Profile p = makeProfile(1000, 0, 2000, 0, 2000, 2000);
  EXPECT_TRUE(advanceProfile(p, 10).finished());
}

TEST(MotionProfile, NegativeTimeDoesNothing) {
  const Profile p = makeProfile(1000, 600, 2000, 600, 2000, 2000);
  EXPECT_DOUBLE_EQ(advanceProfile(p, -1).travelled, 0);
}

}  // namespace
}  // namespace halvane::sim
