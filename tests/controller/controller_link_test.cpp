#include "controller/controller_link.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/fake_rig.h"

namespace halvane {
namespace {

using ::testing::ElementsAre;
using testing::FakeRig;

TEST(LibraryLoading, AbsentLibraryIsTriedByEachRecordAndReportedOnStandardOutput) {
  FakeRig rig(/*loadable=*/false);
  EXPECT_EQ(rig.library.loadAttempts(), 2);
  EXPECT_EQ(rig.output(), "load PUSICANControl.dll FAIL!\nload PUSICANControl.dll FAIL!\n");
  EXPECT_FALSE(rig.link->isLoaded());
}

TEST(LibraryLoading, PresentLibraryIsLoadedOnceAndSilently) {
  FakeRig rig;
  EXPECT_EQ(rig.library.loadAttempts(), 1);
  EXPECT_EQ(rig.output(), "");
  EXPECT_TRUE(rig.link->isLoaded());
}

// The export is looked up at every call: removing it after two calls makes the third skipped.
TEST(ControllerCallRule, ThreeOutcomes) {
  FakeRig rig;
  EXPECT_EQ(rig.link->PCAN_SetAccel(1, 5), CallOutcome::Done);
  rig.library.setResult("PCAN_SetAccel", 3);
  EXPECT_EQ(rig.link->PCAN_SetAccel(1, 5), CallOutcome::Failed);
  rig.library.removeExport("PCAN_SetAccel");
  EXPECT_EQ(rig.link->PCAN_SetAccel(1, 5), CallOutcome::Skipped);
  // Two calls reached the library; the skipped one did not.
  EXPECT_THAT(rig.library.calls(), ElementsAre("PCAN_SetAccel(1, 5)", "PCAN_SetAccel(1, 5)"));
}

TEST(ControllerCallRule, EveryCallFailsWithoutTheLibrary) {
  FakeRig rig(/*loadable=*/false);
  int position = 0;
  EXPECT_EQ(rig.link->PCAN_Init(8, 2, 1), CallOutcome::Failed);
  EXPECT_EQ(rig.link->PCAN_GetMotorPos(1, &position), CallOutcome::Failed);
  EXPECT_THAT(rig.library.calls(), ElementsAre());
}

TEST(ControllerCallRule, ArgumentsAndOutValuesCrossTheBindingIntact) {
  FakeRig rig;
  rig.library.setOutValue("PCAN_GetMotorPos", 2, -123456);
  int position = 0;
  EXPECT_EQ(rig.link->PCAN_GetMotorPos(2, &position), CallOutcome::Done);
  EXPECT_EQ(position, -123456);
  EXPECT_EQ(rig.link->PCAN_Init(8, 2, 1), CallOutcome::Done);
  EXPECT_EQ(rig.link->PCAN_SetMaxSpeed(1, -800), CallOutcome::Done);
  EXPECT_EQ(rig.link->PCAN_StartRelStep(2, 2147483647), CallOutcome::Done);
  EXPECT_THAT(rig.library.calls(),
              ElementsAre("PCAN_GetMotorPos(2, &)", "PCAN_Init(8, 2, 1)",
                          "PCAN_SetMaxSpeed(1, -800)", "PCAN_StartRelStep(2, 2147483647)"));
}

TEST(ControllerCallRule, SkippedOutValueKeepsItsInitialZero) {
  FakeRig rig;
  rig.library.setOutValue("PCAN_GetGPIOValue", 1, 0x80);
  rig.library.removeExport("PCAN_GetGPIOValue");
  int inputs = 0;
  EXPECT_EQ(rig.link->PCAN_GetGPIOValue(1, &inputs), CallOutcome::Skipped);
  EXPECT_EQ(inputs, 0);
}

}  // namespace
}  // namespace halvane
