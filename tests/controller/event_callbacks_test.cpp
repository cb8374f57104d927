#include "controller/event_callbacks.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/fake_rig.h"

namespace halvane {
namespace {

using ::testing::ElementsAre;
using testing::FakeRig;

TEST(CallbackRegistration, HandsTheThreeCallbacksToTheLibrary) {
  FakeRig rig;
  registerCallbacks(*rig.link);
  EXPECT_THAT(rig.library.calls(), ElementsAre("PCAN_SetEventCallback(fn, fn, fn)"));
  EXPECT_TRUE(rig.library.hasCallbacks());
}

TEST(CallbackRegistration, NothingIsCalledWithoutTheLibraryOrTheExport) {
  FakeRig absent(/*loadable=*/false);
  registerCallbacks(*absent.link);
  EXPECT_THAT(absent.library.calls(), ElementsAre());
}

TEST(CallbackRegistration, MissingExportIsSkipped) {
  FakeRig rig;
  rig.library.removeExport("PCAN_SetEventCallback");
  registerCallbacks(*rig.link);
  EXPECT_THAT(rig.library.calls(), ElementsAre());
}

TEST(OnlineCallback, StateOneMeansOnlineAnythingElseOffline) {
  FakeRig rig;
  rig.library.fireOnline(2, 1);
  EXPECT_FALSE(rig.first->isOnline());
  EXPECT_TRUE(rig.second->isOnline());
  rig.library.fireOnline(2, 2);
  EXPECT_FALSE(rig.second->isOnline());
}

TEST(OnlineCallback, UnknownNodesAndUnpublishedAxesAreIgnored) {
  FakeRig rig;
  rig.library.fireOnline(3, 1);
  EXPECT_FALSE(rig.first->isOnline());
  EXPECT_FALSE(rig.second->isOnline());
  publishCallbackAxes(nullptr);  // as before the window has published its axes
  rig.library.fireOnline(1, 1);
  EXPECT_FALSE(rig.first->isOnline());
}

TEST(StatusCallback, MovingBitResetsAndClearBitSetsTheIdleEvent) {
  FakeRig rig;
  rig.library.fireStatus(1, kStatusKindMotion, 0x08);
  EXPECT_FALSE(rig.first->idleEvent().isSet());
  EXPECT_TRUE(rig.second->idleEvent().isSet());
  rig.library.fireStatus(1, kStatusKindMotion, 0x00);
  EXPECT_TRUE(rig.first->idleEvent().isSet());
}

TEST(StatusCallback, OtherKindsAndOtherBitsChangeNothing) {
  FakeRig rig;
  rig.library.fireStatus(2, 1, 0x08);
  EXPECT_TRUE(rig.second->idleEvent().isSet());
  rig.library.fireStatus(2, kStatusKindMotion, 0xF7);  // every bit but the moving one
  EXPECT_TRUE(rig.second->idleEvent().isSet());
  rig.library.fireStatus(5, kStatusKindMotion, 0x08);
  EXPECT_TRUE(rig.first->idleEvent().isSet());
  EXPECT_TRUE(rig.second->idleEvent().isSet());
}

TEST(StatusCallback, ReportFromTheLibrarysThreadWakesAWaiter) {
  FakeRig rig;
  rig.first->idleEvent().reset();
  rig.library.fireStatusFromThread(1, kStatusKindMotion, 0x00);
  EXPECT_TRUE(rig.first->idleEvent().waitFor(std::chrono::seconds(10)));
}

TEST(SpareCallback, DoesNothingAndAnswersZero) {
  EXPECT_EQ(SpareCallback(42), 0);
}

}  // namespace
}  // namespace halvane
