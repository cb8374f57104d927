#include "motion/motion_worker.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "motion/command_messages.h"
#include "tests/support/fake_rig.h"

namespace halvane {
namespace {

using ::testing::ElementsAre;
using testing::FakeControllerLibrary;
using testing::FakeRig;
using ::testing::IsEmpty;
using testing::RecordingReplies;
using Reply = RecordingReplies::Reply;

constexpr AxisParameters kShown{5, 32, 600, 4000};

class Worker : public ::testing::Test {
 protected:
  Worker() {
    rig.configure(kShown);
    EXPECT_TRUE(worker.start());
  }

  FakeRig rig;
  RecordingReplies replies;
  MotionWorker worker{*rig.context, replies};
};

TEST_F(Worker, RepliesCarryOneUntilTheFirstConfiguration) {
  worker.post(WM_AXIS1_FORWARD, rig.first.get());
  ASSERT_TRUE(replies.waitFor(1));
  EXPECT_THAT(replies.replies(), ElementsAre(Reply{WM_AXIS1_FORWARD, 1}));
}

TEST_F(Worker, AFailedConfigurationIsCarriedByEveryLaterReplyUntilOneSucceeds) {
  rig.library.failOccurrence("PCAN_SetAccel", 1);
  worker.post(WM_AXIS_CONFIGURE, nullptr);
  worker.post(WM_AXIS2_REVERSE, rig.second.get());
  worker.post(WM_AXIS_CONFIGURE, nullptr);
  worker.post(WM_AXIS1_GOTO, rig.first.get());
  ASSERT_TRUE(replies.waitFor(4));
  EXPECT_THAT(replies.replies(),
              ElementsAre(Reply{WM_AXIS_CONFIGURE, 0}, Reply{WM_AXIS2_REVERSE, 0},
                          Reply{WM_AXIS_CONFIGURE, 1}, Reply{WM_AXIS1_GOTO, 1}));
  EXPECT_THAT(rig.alerts.texts(), ElementsAre("SetAccel fail!\n"));
}

TEST_F(Worker, CommandsRunOneAtATimeInPostOrderOnTheirOwnRecord) {
  rig.table.setForwardAngle(0, 90);
  rig.table.setReverseAngle(1, 180);
  worker.post(WM_AXIS1_FORWARD, rig.first.get());
  // The record decides the axis, not the message's name.
  worker.post(WM_AXIS1_REVERSE, rig.second.get());
  ASSERT_TRUE(replies.waitFor(2));
  EXPECT_THAT(rig.library.callsNamed("PCAN_StartRelStep"),
              ElementsAre("PCAN_StartRelStep(1, 1600)", "PCAN_StartRelStep(2, 3200)"));
  EXPECT_THAT(replies.replies(),
              ElementsAre(Reply{WM_AXIS1_FORWARD, 1}, Reply{WM_AXIS1_REVERSE, 1}));
}

TEST_F(Worker, AnUnknownRecordActsOnTheFirstAxis) {
  CMotorAxis stranger(7, *rig.link);
  rig.table.setSlot(0, 1);
  worker.post(WM_AXIS2_GOTO, &stranger);
  ASSERT_TRUE(replies.waitFor(1));
  // The first axis's table entries are used with the stranger's own node.
  EXPECT_THAT(rig.library.callsNamed("PCAN_StartRelStep"),
              ElementsAre("PCAN_StartRelStep(7, 1066)"));
}

TEST_F(Worker, OtherMessagesAreEchoedWithoutControllerTraffic) {
  worker.post(1200, rig.first.get());
  worker.post(WM_AXIS1_HOME, nullptr);
  ASSERT_TRUE(replies.waitFor(2));
  EXPECT_THAT(replies.replies(), ElementsAre(Reply{1200, 1}, Reply{WM_AXIS1_HOME, 1}));
  EXPECT_THAT(rig.library.calls(), IsEmpty());
}

TEST_F(Worker, AHomingHoldsBackLaterCommandsUntilTheMotorRests) {
  rig.library.setOutValue("PCAN_GetGPIOValue", 1, kInputOffHomeSwitch);
  rig.context->homing.minimumBound = std::chrono::seconds(30);
  rig.table.setForwardAngle(1, 180);
  auto position = std::make_shared<std::atomic<int>>(0);
  auto onSwitch = std::make_shared<std::atomic<bool>>(false);
  rig.library.setHandler("PCAN_GetMotorPos", [position](const FakeControllerLibrary::Arguments& a) {
    *a.out = *position -= 60;  // turning until the switch stops it
    return 0;
  });
  rig.library.setHandler("PCAN_GetControlStatus",
                         [onSwitch](const FakeControllerLibrary::Arguments& a) {
                           *a.out = *onSwitch ? kControlStoppedBySwitch : 0;
                           return 0;
                         });
  worker.post(WM_AXIS1_HOME, rig.first.get());
  worker.post(WM_AXIS2_FORWARD, rig.second.get());
  ASSERT_TRUE(rig.library.waitForCalls("PCAN_StartRelStep", 1, std::chrono::seconds(10)));
  ASSERT_TRUE(rig.library.waitForCalls("PCAN_GetMotorPos", 3, std::chrono::seconds(10)));
  EXPECT_THAT(replies.replies(), IsEmpty());
  EXPECT_THAT(rig.library.callsNamed("PCAN_StartRelStep"),
              ElementsAre("PCAN_StartRelStep(1, 9600)"));

  *onSwitch = true;
  rig.library.fireStatusFromThread(1, kStatusKindMotion, 0x00);
  ASSERT_TRUE(replies.waitFor(2));
  EXPECT_THAT(replies.replies(), ElementsAre(Reply{WM_AXIS1_HOME, 1}, Reply{WM_AXIS2_FORWARD, 1}));
  EXPECT_EQ(rig.library.callsNamed("PCAN_StartRelStep").back(), "PCAN_StartRelStep(2, 3200)");
}

TEST(WorkerLifetime, ReplyIsSentOnlyAfterTheFailureMessageIsDismissed) {
  // An alert that records whether a reply had already gone out when it was shown.
  struct OrderCheckingAlerts final : AlertSink {
    RecordingReplies* replies = nullptr;
    size_t repliesSeen = 99;
    void alert(std::string_view) override { repliesSeen = replies->replies().size(); }
  };
  FakeRig rig(/*loadable=*/false);
  OrderCheckingAlerts alerts;
  RecordingReplies replies;
  alerts.replies = &replies;
  MotionContext context{*rig.link, rig.table, alerts, rig.context->axes, rig.context->homing};
  MotionWorker worker(context, replies);
  ASSERT_TRUE(worker.start());
  worker.post(WM_AXIS_CONFIGURE, nullptr);
  ASSERT_TRUE(replies.waitFor(1));
  EXPECT_EQ(alerts.repliesSeen, 0u);
  EXPECT_THAT(replies.replies(), ElementsAre(Reply{WM_AXIS_CONFIGURE, 0}));
}

}  // namespace
}  // namespace halvane
