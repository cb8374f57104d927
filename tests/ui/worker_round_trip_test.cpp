// The window with the program's own command channel: the real motion worker over the fake library.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/ui/worker_window_fixture.h"

namespace halvane::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;

TEST_F(WorkerWindowTest, TheCheckConfiguresBothNodesAndTheReplyEnablesTheButtons) {
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

TEST_F(WorkerWindowTest, AFailedConfigurationIsReportedByTheWorkerAndKeepsTheButtonsOff) {
  library_.setResult("PCAN_SetAccel", 1);
  dlg().onOpen();
  dlg().onTimer(TIMER_ONLINE_CHECK);
  EXPECT_EQ(deliverReply(), RecordingReplies::Reply(WM_AXIS_CONFIGURE, 0));
  EXPECT_EQ(enabledCommandButtons(), 0);
  EXPECT_THAT(alerts_.texts(), ElementsAre("SetAccel fail!\n"));
}

}  // namespace
}  // namespace halvane::testing
