#include "motion/moves.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/fake_rig.h"

namespace halvane {
namespace {

using ::testing::ElementsAre;
using testing::FakeRig;
using ::testing::IsEmpty;

constexpr AxisParameters kMicrostepTwo{5, 2, 600, 4000};

class SlotMove : public ::testing::Test {
 protected:
  SlotMove() { rig.configure(kMicrostepTwo); }

  // The distance the slot move starts from `position`, or -1 when it starts none.
  int distanceFrom(int position, int slot) {
    rig.library.clearCalls();
    rig.library.setOutValue("PCAN_GetMotorPos", 1, position);
    rig.table.setSlot(0, slot);
    moveToSlot(*rig.context, *rig.first, 0);
    const auto starts = rig.library.callsNamed("PCAN_StartRelStep");
    if (starts.empty()) {
      return -1;
    }
    const std::string& call = starts.front();
    return std::stoi(call.substr(call.find(", ") + 2));
  }

  FakeRig rig;
};

TEST_F(SlotMove, ClearsTheFlagTurnsForwardAndStarts) {
  rig.table.setSlot(0, 3);
  moveToSlot(*rig.context, *rig.first, 0);
  EXPECT_THAT(rig.library.calls(),
              ElementsAre("PCAN_GetMotorPos(1, &)", "PCAN_ClearExtStopFlag(1, 255)",
                          "PCAN_SetDir(1, 1)", "PCAN_StartRelStep(1, 200)"));
  EXPECT_FALSE(rig.first->idleEvent().isSet());  // moving until the rest report
}

// Microstep 2: a revolution of 400 steps, slots at 0, 66, 133, 200, 266 and 333.
TEST_F(SlotMove, TurnsForwardByTheShortestForwardDistance) {
  struct Case {
    int position;
    int slot;
    int distance;  // -1: no move
  };
  const Case cases[] = {
      {0, 0, -1},     {0, 1, 66},
      {0, 2, 133},    {0, 3, 200},
      {0, 4, 266},    {0, 5, 333},
      {500, 0, 300},                          // 500 is 100 into the second turn
      {-100, 0, 100},                         // -100 is 300 into a turn
      {150, 1, 316},  {-2147483647, 5, 380},  // the lowest positions wrap cleanly: 353 in
  };
  for (const Case& c : cases) {
    EXPECT_EQ(distanceFrom(c.position, c.slot), c.distance)
        << "from " << c.position << " to slot " << c.slot;
  }
}

TEST_F(SlotMove, WithoutThePositionReadThePositionIsZero) {
  rig.library.setOutValue("PCAN_GetMotorPos", 1, 150);
  rig.library.removeExport("PCAN_GetMotorPos");
  rig.table.setSlot(0, 3);
  moveToSlot(*rig.context, *rig.first, 0);
  EXPECT_THAT(rig.library.calls(), ElementsAre("PCAN_ClearExtStopFlag(1, 255)", "PCAN_SetDir(1, 1)",
                                               "PCAN_StartRelStep(1, 200)"));
  EXPECT_THAT(rig.alerts.texts(), IsEmpty());
}

TEST_F(SlotMove, OnTheSlotAlreadyEndsSilentlyAfterThePositionRead) {
  EXPECT_EQ(distanceFrom(133 + 400, 2), -1);
  EXPECT_THAT(rig.library.calls(), ElementsAre("PCAN_GetMotorPos(1, &)"));
  EXPECT_THAT(rig.alerts.texts(), IsEmpty());
}

TEST_F(SlotMove, AppliesChangesBeforeReadingThePosition) {
  rig.table.setRequested(0, AxisParameters{5, 2, 600, 1000});
  rig.table.setSlot(0, 1);
  moveToSlot(*rig.context, *rig.first, 0);
  EXPECT_THAT(rig.library.calls(),
              ElementsAre("PCAN_SetMaxSpeed(1, 1000)", "PCAN_GetMotorPos(1, &)",
                          "PCAN_ClearExtStopFlag(1, 255)", "PCAN_SetDir(1, 1)",
                          "PCAN_StartRelStep(1, 66)"));
}

TEST_F(SlotMove, MicrostepZeroIsRefusedWithoutMoving) {
  rig.configure(AxisParameters{5, 0, 600, 4000});
  rig.table.setSlot(0, 2);
  moveToSlot(*rig.context, *rig.first, 0);
  EXPECT_THAT(rig.alerts.texts(), ElementsAre("MicroStep is 0: slot move refused!\n"));
  EXPECT_THAT(rig.library.callsNamed("PCAN_StartRelStep"), IsEmpty());
  EXPECT_THAT(rig.library.callsNamed("PCAN_SetDir"), IsEmpty());
}

TEST_F(SlotMove, ASlotOutsideTheSixIsRefused) {
  EXPECT_EQ(distanceFrom(0, -1), -1);
  EXPECT_EQ(distanceFrom(0, 6), -1);
  EXPECT_THAT(rig.alerts.texts(),
              ElementsAre("Position slot out of range!\n", "Position slot out of range!\n"));
}

TEST(SlotMoveFailures, EachFailureEndsTheMoveWithItsMessage) {
  const std::pair<const char*, const char*> sites[] = {
      {"PCAN_GetMotorPos", "GetMotorPos fail!\n"},
      {"PCAN_ClearExtStopFlag", "ClearExtStopFlag fail!\n"},
      {"PCAN_SetDir", "SetDir fail!\n"},
      {"PCAN_StartRelStep", "StartRelStep fail!\n"},
  };
  for (const auto& [exportName, text] : sites) {
    FakeRig failing;
    failing.configure(kMicrostepTwo);
    failing.table.setSlot(0, 3);
    failing.library.setResult(exportName, 1);
    moveToSlot(*failing.context, *failing.first, 0);
    EXPECT_THAT(failing.alerts.texts(), ElementsAre(text));
    EXPECT_EQ(failing.library.calls().back().rfind(exportName, 0), 0u) << exportName;
    EXPECT_TRUE(failing.first->idleEvent().isSet()) << exportName;
  }
}

TEST_F(SlotMove, AMissingStartExportLeavesTheIdleEventAlone) {
  rig.library.removeExport("PCAN_StartRelStep");
  rig.table.setSlot(0, 3);
  moveToSlot(*rig.context, *rig.first, 0);
  EXPECT_TRUE(rig.first->idleEvent().isSet());
  EXPECT_THAT(rig.alerts.texts(), IsEmpty());
}

class Rotation : public ::testing::Test {
 protected:
  Rotation() { rig.configure(kMicrostepTwo); }

  std::vector<std::string> rotateBy(int degrees, halvane::Rotation direction) {
    rig.library.clearCalls();
    if (direction == halvane::Rotation::Forward) {
      rig.table.setForwardAngle(1, degrees);
    } else {
      rig.table.setReverseAngle(1, degrees);
    }
    rotate(*rig.context, *rig.second, 1, direction);
    return rig.library.calls();
  }

  FakeRig rig;
};

// Step count = angle x microstep x 200 / 360, truncated; 0 still starts a move.
TEST_F(Rotation, TurnsByWholeDegreesInTheButtonsDirection) {
  struct Case {
    int microstep;
    int degrees;
    halvane::Rotation direction;
    int steps;
  };
  const Case cases[] = {
      {2, 180, halvane::Rotation::Forward, 200},
      {2, 90, halvane::Rotation::Reverse, 100},
      {2, 1, halvane::Rotation::Forward, 1},
      {2, 0, halvane::Rotation::Forward, 0},
      {2, 359, halvane::Rotation::Reverse, 398},
      {256, 30000, halvane::Rotation::Forward, 4266666},  // far below the 32-bit limit
  };
  for (const Case& c : cases) {
    rig.configure(AxisParameters{5, c.microstep, 600, 4000});
    const bool forward = c.direction == halvane::Rotation::Forward;
    EXPECT_THAT(rotateBy(c.degrees, c.direction),
                ElementsAre("PCAN_ClearExtStopFlag(2, 255)",
                            std::string("PCAN_SetDir(2, ") + (forward ? "1)" : "0)"),
                            "PCAN_StartRelStep(2, " + std::to_string(c.steps) + ")"))
        << c.degrees << (forward ? " forward" : " reverse");
    EXPECT_FALSE(rig.second->idleEvent().isSet());
    rig.second->idleEvent().set();
  }
}

TEST_F(Rotation, WithoutTheStartNothingMovesAndTheIdleEventStays) {
  rig.library.removeExport("PCAN_StartRelStep");
  EXPECT_THAT(rotateBy(90, halvane::Rotation::Forward),
              ElementsAre("PCAN_ClearExtStopFlag(2, 255)", "PCAN_SetDir(2, 1)"));
  EXPECT_TRUE(rig.second->idleEvent().isSet());
  EXPECT_THAT(rig.alerts.texts(), IsEmpty());
}

TEST_F(Rotation, ClearsTheFlagBeforeApplyingChanges) {
  rig.table.setRequested(1, AxisParameters{3, 2, 600, 4000});
  EXPECT_THAT(rotateBy(180, halvane::Rotation::Forward),
              ElementsAre("PCAN_ClearExtStopFlag(2, 255)", "PCAN_SetAccel(2, 3)",
                          "PCAN_SetDecel(2, 3)", "PCAN_SetDir(2, 1)", "PCAN_StartRelStep(2, 200)"));
}

TEST_F(Rotation, NegativeOrOverlongAnglesAreRefusedWithoutMoving) {
  rig.configure(AxisParameters{5, 256, 600, 4000});
  for (int degrees : {-90, -1, 2147483647, 15099495}) {
    const auto calls = rotateBy(degrees, halvane::Rotation::Reverse);
    EXPECT_THAT(calls, ElementsAre("PCAN_ClearExtStopFlag(2, 255)")) << degrees;
  }
  EXPECT_EQ(rig.alerts.texts().size(), 4u);
  EXPECT_EQ(rig.alerts.texts().front(), "Angle out of range!\n");
  // The largest angle whose step count still fits is accepted.
  EXPECT_EQ(rotateBy(15099494, halvane::Rotation::Reverse).back(),
            "PCAN_StartRelStep(2, 2147483591)");
}

TEST(RotationFailures, EachFailureEndsTheRotationWithItsMessage) {
  const std::pair<const char*, const char*> sites[] = {
      {"PCAN_ClearExtStopFlag", "ClearExtStopFlag fail!\n"},
      {"PCAN_SetDir", "SetDir fail!\n"},
      {"PCAN_StartRelStep", "StartRelStep fail!\n"},
  };
  for (const auto& [exportName, text] : sites) {
    FakeRig failing;
    failing.configure(kMicrostepTwo);
    failing.library.setResult(exportName, 1);
    rotate(*failing.context, *failing.first, 0, halvane::Rotation::Forward);
    EXPECT_THAT(failing.alerts.texts(), ElementsAre(text));
    EXPECT_EQ(failing.library.calls().back().rfind(exportName, 0), 0u) << exportName;
  }
}

TEST(RotationFailures, WithoutTheLibraryTheFlagClearFails) {
  FakeRig absent(/*loadable=*/false);
  rotate(*absent.context, *absent.first, 0, halvane::Rotation::Forward);
  EXPECT_THAT(absent.alerts.texts(), ElementsAre("ClearExtStopFlag fail!\n"));
}

}  // namespace
}  // namespace halvane
