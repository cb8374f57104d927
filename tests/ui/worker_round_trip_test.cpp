// The window with the program's own command channel: the real motion worker over the fake library.
// Replies are collected and handed to the window on the test thread, as the window thread would
// take them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/recorders.h"
#include "tests/ui/main_window_fixture.h"
#include "ui/worker_channel.h"

namespace halvane::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;

class WorkerRoundTripTest : public MainWindowTest {
 protected:
  void SetUp() override {
    dlg_ = std::make_unique<CHalvaneDlg>(link_);
    worker_ = std::make_unique<WorkerChannel>(
        MotionContext{link_, dlg().table(), alerts_, dlg().axes()}, replies_);
    dlg().onInitDialog(window_, *worker_);
    nodesAnswer(true, true);
  }
  void TearDown() override { worker_.reset(); }  // joins before the table goes

  // Waits for the next reply and lets the window handle it.
  RecordingReplies::Reply deliverReply() {
    const size_t next = delivered_ + 1;
    EXPECT_TRUE(replies_.waitFor(next));
    const RecordingReplies::Reply reply = replies_.replies().at(delivered_);
    delivered_ = next;
    dlg().onReply(reply.first, reply.second);
    return reply;
  }

  RecordingAlerts alerts_;
  RecordingReplies replies_;
  std::unique_ptr<WorkerChannel> worker_;
  size_t delivered_ = 0;
};

TEST_F(WorkerRoundTripTest, TheCheckConfiguresBothNodesAndTheReplyEnablesTheButtons) {
  window_.select(IDC_MICROSTEP2, 6);
  dlg().onOpen();
  dlg().onTimer(TIMER_ONLINE_CHECK);
  EXPECT_EQ(deliverReply(), RecordingReplies::Reply(WM_AXIS_CONFIGURE, 1));
  EXPECT_EQ(enabledCommandButtons(), 8);
  EXPECT_THAT(library_.calls(), Contains("PCAN_SetMicroStep(1, 32)"));
  EXPECT_THAT(library_.calls(), Contains("PCAN_SetMicroStep(2, 64)"));

  dlg().onSendPosition(1);
  EXPECT_EQ(enabledCommandButtons(), 0);
  EXPECT_EQ(deliverReply().first, WM_AXIS2_GOTO);
  EXPECT_EQ(enabledCommandButtons(), 8);
  EXPECT_THAT(alerts_.texts(), ElementsAre());
}

TEST_F(WorkerRoundTripTest, AFailedConfigurationIsReportedByTheWorkerAndKeepsTheButtonsOff) {
  library_.setResult("PCAN_SetAccel", 1);
  dlg().onOpen();
  dlg().onTimer(TIMER_ONLINE_CHECK);
  EXPECT_EQ(deliverReply(), RecordingReplies::Reply(WM_AXIS_CONFIGURE, 0));
  EXPECT_EQ(enabledCommandButtons(), 0);
  EXPECT_THAT(alerts_.texts(), ElementsAre("SetAccel fail!\n"));
}

}  // namespace
}  // namespace halvane::testing
