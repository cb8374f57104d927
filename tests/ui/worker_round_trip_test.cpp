// The window with the program's own command channel: the real motion worker over the fake library.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/ui/worker_window_fixture.h"

namespace halvane::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

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

TEST_F(WorkerWindowTest, ACheckAfterCloseAndOpenDuringAHomingConfiguresWithWhatItRead) {
  dlg().onOpen();
  dlg().onTimer(TIMER_ONLINE_CHECK);
  deliverReply();
  library_.setOutValue("PCAN_GetGPIOValue", 1, kInputOffHomeSwitch);
  library_.setHandler("PCAN_StartRelStep", [this](const FakeControllerLibrary::Arguments& a) {
    library_.fireStatusFromThread(a.node(), kStatusKindMotion, 0x00);
    return 0;
  });
  // The homing holds once its move has ended until the check has run. The hand-over is relaxed
  // on purpose: it orders nothing, so ThreadSanitizer sees the check's table writes and the
  // homing's reads and writes after it as the unordered accesses they are in the program.
  std::atomic<bool> checked{false};
  library_.setHandler("PCAN_GetControlStatus", [&](const FakeControllerLibrary::Arguments& a) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!checked.load(std::memory_order_relaxed) && std::chrono::steady_clock::now() < giveUp) {
      std::this_thread::yield();
    }
    *a.out = kControlStoppedBySwitch;
    return 0;
  });
  dlg().onReset(0);
  ASSERT_TRUE(library_.waitForCalls("PCAN_GetControlStatus", 1, std::chrono::seconds(10)));

  window_.type(IDC_MAX_SPEED1, "2500");
  window_.select(IDC_MICROSTEP2, 4);  // "16"
  dlg().onClose();
  dlg().onOpen();
  dlg().onTimer(TIMER_ONLINE_CHECK);
  checked.store(true, std::memory_order_relaxed);

  EXPECT_EQ(deliverReply().first, WM_AXIS1_HOME);
  EXPECT_EQ(deliverReply(), RecordingReplies::Reply(WM_AXIS_CONFIGURE, 1));
  EXPECT_EQ(enabledCommandButtons(), 8);
  EXPECT_THAT(alerts_.texts(), IsEmpty());
  EXPECT_THAT(library_.calls(), Contains("PCAN_SetMicroStep(2, 16)"));
  EXPECT_TRUE((dlg().table().applied(0) == AxisParameters{5, 32, 600, 2500}));
  EXPECT_TRUE((dlg().table().applied(1) == AxisParameters{5, 16, 600, 4000}));
}

}  // namespace
}  // namespace halvane::testing
