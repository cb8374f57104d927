#include "sim/bus_timing.h"

#include <gtest/gtest.h>

namespace halvane::sim {
namespace {

using namespace std::chrono_literals;

TEST(BusTiming, SpeedIndexesAreTheNineRatesOfTheList) {
  EXPECT_EQ(bitRateForIndex(0), 10);
  EXPECT_EQ(bitRateForIndex(4), 125);
  EXPECT_EQ(bitRateForIndex(8), 1000);
  EXPECT_EQ(bitRateForIndex(-1), std::nullopt);
  EXPECT_EQ(bitRateForIndex(9), std::nullopt);
}

TEST(BusTiming, A111BitFrame) {
  EXPECT_EQ(frameTime(125), 888us);
  EXPECT_EQ(frameTime(1000), 111us);
  EXPECT_EQ(frameTime(800), 138750ns);
  EXPECT_EQ(frameTime(10), 11100us);
  EXPECT_EQ(frameTime(0), 0ns);
}

TEST(BusTiming, RequestAndAnswerAreTwoFrames) {
  EXPECT_EQ(busTime(Traffic::Answered, 125), 1776us);
  EXPECT_EQ(busTime(Traffic::Answered, 10), 22200us);
  EXPECT_EQ(busTime(Traffic::Answered, 1000), 222us);
}

TEST(BusTiming, NoAnswerCostsTheRequestAndTheTimeout) {
  EXPECT_EQ(busTime(Traffic::Unanswered, 125), 888us + kAnswerTimeout);
}

TEST(BusTiming, AdapterCallsTakeNoBusTime) {
  EXPECT_EQ(busTime(Traffic::None, 125), 0ns);
}

}  // namespace
}  // namespace halvane::sim
