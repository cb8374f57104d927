#include "controller/event_callbacks.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/fake_rig.h"

namespace halvane {
namespace {

using ::testing::ElementsAre;
using testing::FakeRig;

TEST(CallbackRegistration, HandsTheLibraryCallbacksThatReachTheAxisRecords) {
  // A library that has not been handed any callbacks yet.
  testing::FakeControllerLibrary library;
  ControllerLink link(library);
  CMotorAxis first(1, link);
  CMotorAxis second(2, link);
  const AxisPair axes{&first, &second};
  publishCallbackAxes(&axes);
  ASSERT_FALSE(library.hasCallbacks());

  registerCallbacks(link);
  EXPECT_THAT(library.calls(), ElementsAre("PCAN_SetEventCallback(fn, fn, fn)"));
  library.fireOnline(1, kNodeOnlineState);
  library.fireStatus(2, kStatusKindMotion, kStatusMoving);
  EXPECT_TRUE(first.isOnline());
  EXPECT_FALSE(second.idleEvent().isSet());
  publishCallbackAxes(nullptr);
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
  rig.library.fireStatus(1, kStatusKindMotion, kStatusMoving);
  EXPECT_FALSE(rig.first->isOnline());
  EXPECT_TRUE(rig.first->idleEvent().isSet());
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

TEST(StatusCallback, AReportWhileTheAxesArePublishedActsOnItsOwnRecordOrNone) {
  // The callbacks are registered before the window publishes its axes, so the library's thread
  // may report while they are being published.
  FakeRig rig;
  publishCallbackAxes(nullptr);
  rig.library.fireStatusFromThread(2, kStatusKindMotion, kStatusMoving);
  AxisPair axes;
  axes.first = rig.first.get();
  axes.second = rig.second.get();
  publishCallbackAxes(&axes);
  rig.library.joinCallbackThreads();
  publishCallbackAxes(nullptr);
  EXPECT_TRUE(rig.first->idleEvent().isSet());
}

}  // namespace
}  // namespace halvane
