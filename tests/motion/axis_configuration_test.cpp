#include "motion/axis_configuration.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/fake_rig.h"

namespace halvane {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using testing::FakeRig;
using ::testing::IsEmpty;

constexpr AxisParameters kShown{5, 32, 600, 4000};  // what the window shows at start

TEST(ConfigureBothAxes, SendsTheAppliedValuesToNodeOneThenNodeTwo) {
  FakeRig rig;
  rig.configure(kShown);
  rig.table.setApplied(1, &AxisParameters::microstep, 16);
  EXPECT_EQ(configureBothAxes(*rig.context), 1);
  EXPECT_THAT(rig.library.calls(),
              ElementsAre("PCAN_SetAccel(1, 5)", "PCAN_SetDecel(1, 5)", "PCAN_SetMicroStep(1, 32)",
                          "PCAN_SetStartSpeed(1, 600)", "PCAN_SetStopSpeed(1, 600)",
                          "PCAN_SetAccel(2, 5)", "PCAN_SetDecel(2, 5)", "PCAN_SetMicroStep(2, 16)",
                          "PCAN_SetStartSpeed(2, 600)", "PCAN_SetStopSpeed(2, 600)"));
  EXPECT_THAT(rig.alerts.texts(), IsEmpty());
}

TEST(ConfigureBothAxes, StopsAtTheFirstFailureWithItsMessage) {
  FakeRig rig;
  rig.configure(kShown);
  rig.library.failOccurrence("PCAN_SetMicroStep", 2);  // the second axis's
  EXPECT_EQ(configureBothAxes(*rig.context), 0);
  EXPECT_THAT(
      rig.library.calls(),
      ElementsAre("PCAN_SetAccel(1, 5)", "PCAN_SetDecel(1, 5)", "PCAN_SetMicroStep(1, 32)",
                  "PCAN_SetStartSpeed(1, 600)", "PCAN_SetStopSpeed(1, 600)", "PCAN_SetAccel(2, 5)",
                  "PCAN_SetDecel(2, 5)", "PCAN_SetMicroStep(2, 32)"));
  EXPECT_THAT(rig.alerts.texts(), ElementsAre("SetMicroStep fail!\n"));
  // The applied values were taken over before and stay so.
  EXPECT_EQ(rig.table.applied(1).microstep, 32);
}

TEST(ConfigureBothAxes, EachCallHasItsOwnMessageAndIsTheLastOneMade) {
  struct Site {
    const char* exportName;
    const char* lastCall;
    const char* text;
  };
  const Site sites[] = {
      {"PCAN_SetAccel", "PCAN_SetAccel(1, 5)", "SetAccel fail!\n"},
      {"PCAN_SetDecel", "PCAN_SetDecel(1, 5)", "SetDecel fail!\n"},
      {"PCAN_SetMicroStep", "PCAN_SetMicroStep(1, 32)", "SetMicroStep fail!\n"},
      {"PCAN_SetStartSpeed", "PCAN_SetStartSpeed(1, 600)", "SetStartSpeed fail!\n"},
      {"PCAN_SetStopSpeed", "PCAN_SetStopSpeed(1, 600)", "SetStopSpeed fail!\n"},
  };
  for (const Site& site : sites) {
    FakeRig rig;
    rig.configure(kShown);
    rig.library.setResult(site.exportName, 1);
    EXPECT_EQ(configureBothAxes(*rig.context), 0) << site.exportName;
    EXPECT_THAT(rig.alerts.texts(), ElementsAre(site.text));
    EXPECT_EQ(rig.library.calls().back(), site.lastCall);
  }
}

TEST(ConfigureBothAxes, WithoutTheLibraryTheFirstCallFails) {
  FakeRig rig(/*loadable=*/false);
  EXPECT_EQ(configureBothAxes(*rig.context), 0);
  EXPECT_THAT(rig.alerts.texts(), ElementsAre("SetAccel fail!\n"));
}

TEST(ApplyChanges, NothingChangedMeansNoCallsEvenWithoutTheLibrary) {
  FakeRig rig(/*loadable=*/false);
  rig.configure(kShown);
  EXPECT_EQ(applyChanges(*rig.context, *rig.first, 0), 1);
  EXPECT_THAT(rig.alerts.texts(), IsEmpty());
}

TEST(ApplyChanges, SendsOnlyTheChangedGroupsInOrder) {
  FakeRig rig;
  rig.configure(kShown);
  rig.table.setRequested(1, AxisParameters{7, 32, 300, 5000});
  EXPECT_EQ(applyChanges(*rig.context, *rig.second, 1), 1);
  EXPECT_THAT(
      rig.library.calls(),
      ElementsAre("PCAN_SetAccel(2, 7)", "PCAN_SetDecel(2, 7)", "PCAN_SetStartSpeed(2, 300)",
                  "PCAN_SetStopSpeed(2, 300)", "PCAN_SetMaxSpeed(2, 5000)"));
  EXPECT_EQ(rig.table.applied(1), rig.table.requested(1));
  EXPECT_EQ(rig.table.applied(0), kShown);  // the other axis is untouched
}

TEST(ApplyChanges, MaximumSpeedAloneIsOneCall) {
  FakeRig rig;
  rig.configure(kShown);
  rig.table.setRequested(0, AxisParameters{5, 32, 600, 3000});
  EXPECT_EQ(applyChanges(*rig.context, *rig.first, 0), 1);
  EXPECT_THAT(rig.library.calls(), ElementsAre("PCAN_SetMaxSpeed(1, 3000)"));
}

// A failure of any call of a group leaves that group's applied value as it was, keeps the groups
// before it, tries none after it, and the next apply-changes sends the failed group whole again.
TEST(ApplyChanges, AFailedGroupStaysUnappliedAndIsSentWholeNextTime) {
  const std::vector<std::string> all = {"PCAN_SetAccel(1, 8)",       "PCAN_SetDecel(1, 8)",
                                        "PCAN_SetMicroStep(1, 64)",  "PCAN_SetStartSpeed(1, 100)",
                                        "PCAN_SetStopSpeed(1, 100)", "PCAN_SetMaxSpeed(1, 9000)"};
  struct Case {
    const char* exportName;
    const char* text;
    size_t groupStart;  // where the failed group's calls begin in `all`
    AxisParameters applied;
  };
  const Case cases[] = {
      {"PCAN_SetAccel", "SetAccel fail!\n", 0, {5, 32, 600, 4000}},
      {"PCAN_SetDecel", "SetDecel fail!\n", 0, {5, 32, 600, 4000}},
      {"PCAN_SetMicroStep", "SetMicroStep fail!\n", 2, {8, 32, 600, 4000}},
      {"PCAN_SetStartSpeed", "SetStartSpeed fail!\n", 3, {8, 64, 600, 4000}},
      {"PCAN_SetStopSpeed", "SetStopSpeed fail!\n", 3, {8, 64, 600, 4000}},
      {"PCAN_SetMaxSpeed", "SetMaxSpeed fail!\n", 5, {8, 64, 100, 4000}},
  };
  for (const Case& c : cases) {
    FakeRig rig;
    rig.configure(kShown);
    rig.table.setRequested(0, AxisParameters{8, 64, 100, 9000});
    rig.library.failOccurrence(c.exportName, 1);
    EXPECT_EQ(applyChanges(*rig.context, *rig.first, 0), 0) << c.exportName;
    EXPECT_THAT(rig.alerts.texts(), ElementsAre(c.text)) << c.exportName;
    EXPECT_EQ(rig.library.calls().back().rfind(c.exportName, 0), 0u) << c.exportName;
    EXPECT_EQ(rig.table.applied(0), c.applied) << c.exportName;

    rig.library.clearCalls();
    EXPECT_EQ(applyChanges(*rig.context, *rig.first, 0), 1) << c.exportName;
    EXPECT_THAT(rig.library.calls(),
                ElementsAreArray(all.begin() + static_cast<long>(c.groupStart), all.end()))
        << c.exportName;
  }
}

TEST(ApplyChanges, SkippedExportsCountAsDone) {
  FakeRig rig;
  rig.configure(kShown);
  rig.library.removeExport("PCAN_SetMicroStep");
  rig.table.setRequested(0, AxisParameters{5, 16, 600, 4000});
  EXPECT_EQ(applyChanges(*rig.context, *rig.first, 0), 1);
  EXPECT_EQ(rig.table.applied(0).microstep, 16);
}

TEST(ApplyChanges, WithoutTheLibraryTheFirstNeededGroupFails) {
  FakeRig rig(/*loadable=*/false);
  rig.configure(kShown);
  rig.table.setRequested(0, AxisParameters{5, 32, 100, 4000});
  EXPECT_EQ(applyChanges(*rig.context, *rig.first, 0), 0);
  EXPECT_THAT(rig.alerts.texts(), ElementsAre("SetStartSpeed fail!\n"));
}

}  // namespace
}  // namespace halvane
