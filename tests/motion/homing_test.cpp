#include "motion/homing.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>

#include "tests/support/fake_rig.h"

namespace halvane {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using testing::FakeControllerLibrary;
using testing::FakeRig;
using ::testing::IsEmpty;

constexpr AxisParameters kMicrostepTwo{5, 2, 600, 4000};

// Calls without the position reads the wait makes while the motor turns.
std::vector<std::string> callsBesidesPolling(const FakeControllerLibrary& library) {
  std::vector<std::string> calls;
  for (const std::string& call : library.calls()) {
    if (call.rfind("PCAN_GetMotorPos(", 0) != 0) {
      calls.push_back(call);
    }
  }
  return calls;
}

// A rig whose first turntable is off its switch and whose motor reports rest from the library's
// thread once a move starts.
class Homing : public ::testing::Test {
 protected:
  Homing() {
    rig.configure(kMicrostepTwo);
    rig.library.setOutValue("PCAN_GetGPIOValue", 1, kInputOffHomeSwitch);
    rig.library.setOutValue("PCAN_GetControlStatus", 1, kControlStoppedBySwitch);
    rig.library.setHandler("PCAN_StartRelStep", [this](const FakeControllerLibrary::Arguments& a) {
      rig.library.fireStatusFromThread(a.node(), kStatusKindMotion, 0x00);
      return 0;
    });
  }

  FakeRig rig;
};

const std::vector<std::string> kFullHoming = {
    "PCAN_GetGPIOValue(1, &)",     "PCAN_SetExtStopTrigger(1, 0)", "PCAN_SetExtStopEnable(1, 1)",
    "PCAN_ClearExtStopFlag(1, 1)", "PCAN_SetWorkMode(1, 0)",       "PCAN_SetMaxSpeed(1, -800)",
    "PCAN_StartRelStep(1, 600)",   "PCAN_GetControlStatus(1, &)",  "PCAN_SetExtStopEnable(1, 0)",
    "PCAN_ClearExtStopFlag(1, 1)", "PCAN_SetMotorPos(1, 0)",       "PCAN_SetMaxSpeed(1, 4000)"};

TEST_F(Homing, OffTheSwitchDrivesBackwardsOneAndAHalfTurnsAndZeroes) {
  runHoming(*rig.context, *rig.first, 0);
  EXPECT_THAT(callsBesidesPolling(rig.library), ElementsAreArray(kFullHoming));
  EXPECT_THAT(rig.alerts.texts(), IsEmpty());
  EXPECT_TRUE(rig.first->idleEvent().isSet());
}

TEST_F(Homing, OnTheSwitchOnlyZeroesAndPutsTheMaximumSpeedInForce) {
  rig.library.setOutValue("PCAN_GetGPIOValue", 1, 0x7F);  // every input but "off the switch"
  rig.table.setRequested(0, AxisParameters{5, 2, 600, 2500});
  rig.table.setApplied(0, &AxisParameters::maxSpeed, 2500);
  runHoming(*rig.context, *rig.first, 0);
  EXPECT_THAT(rig.library.calls(),
              ElementsAre("PCAN_GetGPIOValue(1, &)", "PCAN_SetExtStopEnable(1, 0)",
                          "PCAN_ClearExtStopFlag(1, 1)", "PCAN_SetMotorPos(1, 0)",
                          "PCAN_SetMaxSpeed(1, 2500)"));
}

TEST_F(Homing, AChangedMicrostepIsSentFirstAndSizesTheMove) {
  rig.table.setRequested(0, AxisParameters{5, 256, 600, 4000});
  runHoming(*rig.context, *rig.first, 0);
  const auto calls = callsBesidesPolling(rig.library);
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[0], "PCAN_SetMicroStep(1, 256)");
  EXPECT_EQ(calls[1], "PCAN_GetGPIOValue(1, &)");
  EXPECT_THAT(calls, ::testing::Contains("PCAN_StartRelStep(1, 76800)"));
  EXPECT_EQ(rig.table.applied(0).microstep, 256);
}

TEST_F(Homing, SwitchNotReachedIsReportedAndThePositionStillZeroed) {
  rig.library.setOutValue("PCAN_GetControlStatus", 1, 0x02);
  runHoming(*rig.context, *rig.first, 0);
  EXPECT_THAT(rig.alerts.texts(), ElementsAre("Failure of home switch!!\n"));
  EXPECT_THAT(callsBesidesPolling(rig.library), ElementsAreArray(kFullHoming));
}

TEST_F(Homing, TheSecondAxisUsesItsOwnNodeAndValues) {
  rig.table.setRequested(1, AxisParameters{5, 4, 600, 1000});
  rig.table.setApplied(1, &AxisParameters::maxSpeed, 1000);
  rig.table.setApplied(1, &AxisParameters::microstep, 4);
  rig.library.setOutValue("PCAN_GetGPIOValue", 2, kInputOffHomeSwitch);
  rig.library.setOutValue("PCAN_GetControlStatus", 2, kControlStoppedBySwitch);
  runHoming(*rig.context, *rig.second, 1);
  const auto calls = callsBesidesPolling(rig.library);
  EXPECT_THAT(calls, ::testing::Contains("PCAN_StartRelStep(2, 1200)"));
  EXPECT_EQ(calls.back(), "PCAN_SetMaxSpeed(2, 1000)");
}

TEST(HomingFailures, WithoutTheLibraryTheInputReadFails) {
  FakeRig absent(/*loadable=*/false);
  runHoming(*absent.context, *absent.first, 0);
  EXPECT_THAT(absent.alerts.texts(), ElementsAre("GetGPIOValue fail!"));
}

// Every call site: the failure shows its text and no later call is made.
TEST(HomingFailures, EachFailingCallEndsTheRoutineWithItsMessage) {
  const char* const texts[] = {
      "GetGPIOValue fail!",       "SetExtStopTrigger fail!\n", "SetExtStopEnable fail!",
      "ClearExtStopFlag fail!\n", "SetWorkMode fail!\n",       "SetMaxSpeed fail!\n",
      "StartRelStep fail!\n",     "GetControlStatus fail!\n",  "SetExtStopEnable fail!",
      "ClearExtStopFlag fail!\n", "SetMotorPos fail!\n",       "SetMaxSpeed fail!\n"};
  for (size_t site = 0; site < kFullHoming.size(); ++site) {
    FakeRig failing;
    failing.configure(kMicrostepTwo);
    failing.library.setOutValue("PCAN_GetGPIOValue", 1, kInputOffHomeSwitch);
    failing.library.setOutValue("PCAN_GetControlStatus", 1, kControlStoppedBySwitch);
    const std::string& call = kFullHoming[site];
    const std::string exportName = call.substr(0, call.find('('));
    int occurrence = 0;
    for (size_t i = 0; i <= site; ++i) {
      occurrence += kFullHoming[i].rfind(exportName + "(", 0) == 0 ? 1 : 0;
    }
    failing.library.failOccurrence(exportName, occurrence);
    runHoming(*failing.context, *failing.first, 0);
    EXPECT_THAT(failing.alerts.texts(), ElementsAre(texts[site])) << call;
    const std::vector<std::string> expected(kFullHoming.begin(),
                                            kFullHoming.begin() + static_cast<long>(site) + 1);
    EXPECT_THAT(callsBesidesPolling(failing.library), ElementsAreArray(expected)) << call;
    EXPECT_TRUE(failing.first->idleEvent().isSet()) << "a failed homing leaves no move pending";
  }
}

TEST_F(Homing, AMissingStartExportSkipsTheWait) {
  rig.library.removeExport("PCAN_StartRelStep");
  runHoming(*rig.context, *rig.first, 0);
  EXPECT_THAT(rig.alerts.texts(), IsEmpty());
  auto expected = kFullHoming;
  expected.erase(expected.begin() + 6);  // the start itself
  EXPECT_THAT(callsBesidesPolling(rig.library), ElementsAreArray(expected));
}

// The position keeps changing, so only the rest report can end the wait.
void keepPositionMoving(FakeRig& rig) {
  auto position = std::make_shared<std::atomic<int>>(0);
  rig.library.setHandler("PCAN_GetMotorPos", [position](const FakeControllerLibrary::Arguments& a) {
    *a.out = --*position;
    return 0;
  });
}

TEST_F(Homing, ARestReportThatComesBeforeTheStartReturnsIsNotLost) {
  keepPositionMoving(rig);
  rig.context->homing.minimumBound = std::chrono::seconds(20);
  rig.library.setHandler("PCAN_StartRelStep", [this](const FakeControllerLibrary::Arguments& a) {
    rig.library.fireStatus(a.node(), kStatusKindMotion, 0x08);
    rig.library.fireStatus(a.node(), kStatusKindMotion, 0x00);  // a very short move
    return 0;
  });
  runHoming(*rig.context, *rig.first, 0);
  EXPECT_THAT(rig.alerts.texts(), IsEmpty());
  EXPECT_THAT(callsBesidesPolling(rig.library), ElementsAreArray(kFullHoming));
}

TEST_F(Homing, ALostRestReportIsMadeUpForByThePositionStandingStill) {
  auto reads = std::make_shared<std::atomic<int>>(0);
  rig.library.setHandler("PCAN_StartRelStep", [](const FakeControllerLibrary::Arguments&) {
    return 0;  // moves, but never reports
  });
  rig.library.setHandler("PCAN_GetMotorPos", [reads](const FakeControllerLibrary::Arguments& a) {
    *a.out = -std::min(++*reads, 10) * 60;  // turns for ten reads, then stands
    return 0;
  });
  runHoming(*rig.context, *rig.first, 0);
  EXPECT_THAT(rig.alerts.texts(), IsEmpty());
  EXPECT_GT(reads->load(), 10);
  EXPECT_THAT(callsBesidesPolling(rig.library), ElementsAreArray(kFullHoming));
}

TEST_F(Homing, AMotorThatNeverComesToRestEndsTheRoutineAfterTheBound) {
  keepPositionMoving(rig);
  rig.library.setHandler("PCAN_StartRelStep",
                         [](const FakeControllerLibrary::Arguments&) { return 0; });
  runHoming(*rig.context, *rig.first, 0);
  EXPECT_THAT(rig.alerts.texts(), ElementsAre("Homing timeout: the motor did not come to rest!\n"));
  const auto calls = callsBesidesPolling(rig.library);
  EXPECT_EQ(calls.back(), "PCAN_StartRelStep(1, 600)");
}

TEST_F(Homing, PositionReadFailuresDuringTheWaitAreNotReported) {
  rig.library.setResult("PCAN_GetMotorPos", 1);
  runHoming(*rig.context, *rig.first, 0);
  EXPECT_THAT(rig.alerts.texts(), IsEmpty());
  EXPECT_THAT(callsBesidesPolling(rig.library), ElementsAreArray(kFullHoming));
}

TEST(HomingFailures, AMicrostepWhoseMoveCannotBeCountedIsRefusedBeforeTheStart) {
  for (int microstep : {-2, 7158279}) {  // 7,158,279 x 300 is past the 32-bit step count
    FakeRig refusing;
    refusing.configure(AxisParameters{5, microstep, 600, 4000});
    refusing.library.setOutValue("PCAN_GetGPIOValue", 1, kInputOffHomeSwitch);
    runHoming(*refusing.context, *refusing.first, 0);
    EXPECT_THAT(refusing.alerts.texts(), ElementsAre("MicroStep out of range!\n")) << microstep;
    EXPECT_THAT(refusing.library.callsNamed("PCAN_StartRelStep"), IsEmpty()) << microstep;
  }
}

}  // namespace
}  // namespace halvane
