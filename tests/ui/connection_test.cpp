// Open, Close and the node-online check three seconds after Open.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/ui/main_window_fixture.h"
#include "ui/operator_texts.h"

namespace halvane::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ConnectionTest : public MainWindowTest {
 protected:
  // Open and Close swap with the bus; the lists stay usable and the command buttons stay off.
  void expectBusControls(bool opened) {
    EXPECT_EQ(window_.isEnabled(IDC_OPEN), !opened);
    EXPECT_EQ(window_.isEnabled(IDC_CLOSE), opened);
    EXPECT_TRUE(window_.isEnabled(IDC_ADAPTER_LIST));
    EXPECT_TRUE(window_.isEnabled(IDC_BAUD_LIST));
    EXPECT_EQ(enabledCommandButtons(), 0);
  }
};

TEST_F(ConnectionTest, OpenInitialisesAndOpensWithTheSelectedRowsThenArmsTheCheck) {
  window_.select(IDC_ADAPTER_LIST, 3);
  window_.select(IDC_BAUD_LIST, 7);
  library_.clearCalls();
  dlg().onOpen();

  EXPECT_THAT(library_.calls(), ElementsAre("PCAN_Init(3, 2, 1)", "PCAN_OpenPort(7)"));
  expectBusControls(/*opened=*/true);
  ASSERT_TRUE(window_.isArmed(TIMER_ONLINE_CHECK));
  EXPECT_EQ(window_.period(TIMER_ONLINE_CHECK), 3000u);
  EXPECT_THAT(window_.messages(), IsEmpty());
}

TEST_F(ConnectionTest, FailedOpenSaysWhichStepFailedAndChangesNothing) {
  struct Case {
    const char* failing;
    std::string_view message;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"PCAN_Init", texts::kInitFail, {"PCAN_Init(8, 2, 1)"}},
      {"PCAN_OpenPort", texts::kOpenPortFail, {"PCAN_Init(8, 2, 1)", "PCAN_OpenPort(4)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failing);
    library_.setResult("PCAN_Init", 0);
    library_.setResult("PCAN_OpenPort", 0);
    library_.setResult(c.failing, 1);
    library_.clearCalls();
    window_.clearEvents();
    dlg().onOpen();
    EXPECT_EQ(library_.calls(), c.calls);
    EXPECT_THAT(window_.events(), ElementsAre("message " + std::string(c.message)));
    expectBusControls(/*opened=*/false);
  }
}

TEST_F(ConnectionTest, OpenWithoutTheInitAndOpenExportsCountsAsOpened) {
  library_.removeExport("PCAN_Init");
  library_.removeExport("PCAN_OpenPort");
  dlg().onOpen();
  expectBusControls(/*opened=*/true);
  EXPECT_TRUE(window_.isArmed(TIMER_ONLINE_CHECK));
}

TEST_F(ConnectionTest, CloseClosesThePortAndSetsTheControlsButLeavesAPendingCheck) {
  bringUp();
  dlg().onOpen();  // Open is disabled in the window; the handler is what matters here
  library_.clearCalls();
  dlg().onClose();
  EXPECT_THAT(library_.calls(), ElementsAre("PCAN_ClosePort()"));
  expectBusControls(/*opened=*/false);
  EXPECT_TRUE(window_.isArmed(TIMER_ONLINE_CHECK));
  EXPECT_THAT(window_.messages(), IsEmpty());

  // The pending check still runs at its time and configures.
  dlg().onTimer(TIMER_ONLINE_CHECK);
  EXPECT_EQ(channel_->posts().back(), RecordingChannel::Post(WM_AXIS_CONFIGURE, nullptr));
}

TEST_F(ConnectionTest, CloseWithoutTheExportOrTheLibraryCallsNothingAndSaysNothing) {
  library_.removeExport("PCAN_ClosePort");
  library_.clearCalls();
  dlg().onClose();
  EXPECT_THAT(library_.calls(), IsEmpty());
  EXPECT_THAT(window_.messages(), IsEmpty());
  expectBusControls(/*opened=*/false);
}

class OnlineCheckTest : public MainWindowTest {
 protected:
  void openAndCheck() {
    dlg().onOpen();
    library_.clearCalls();
    window_.clearEvents();
    dlg().onTimer(TIMER_ONLINE_CHECK);
  }
};

TEST_F(OnlineCheckTest, OnlyNodesThatReportedOnlineAreAskedAndEveryMissingOneIsNamed) {
  struct Case {
    bool reported[2];  // by the online callback
    bool answers[2];   // to the library's query
    std::vector<int> asked;
    const char* text;
  };
  const Case cases[] = {
      {{true, true}, {true, false}, {1, 2}, "节点2#未上线"},
      {{true, true}, {false, true}, {1, 2}, "节点1#未上线"},
      {{true, false}, {true, true}, {1}, "节点2#未上线"},
      {{false, true}, {true, true}, {2}, "节点1#未上线"},
      {{false, false}, {true, true}, {}, "节点1#,2#未上线"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text + ::testing::PrintToString(c.asked));
    std::vector<std::string> queries;
    for (int node : {1, 2}) {
      library_.fireOnline(node, c.reported[node - 1] ? kNodeOnlineState : 0);
      library_.setOutValue("PCAN_IsSlaveOnline", node, c.answers[node - 1] ? 1 : 0);
    }
    for (int node : c.asked) {
      queries.push_back("PCAN_IsSlaveOnline(" + std::to_string(node) + ", &)");
    }
    dlg().onClose();
    openAndCheck();
    EXPECT_EQ(library_.calls(), queries);
    EXPECT_THAT(window_.messages(), ElementsAre(c.text));
    EXPECT_THAT(channel_->posts(), IsEmpty());
    EXPECT_EQ(enabledCommandButtons(), 0);
    EXPECT_FALSE(window_.isArmed(TIMER_ONLINE_CHECK));
  }
}

TEST_F(OnlineCheckTest, WithoutTheQueryExportBothNodesAreMissing) {
  nodesAnswer(true, true);
  library_.removeExport("PCAN_IsSlaveOnline");
  openAndCheck();
  EXPECT_THAT(window_.messages(), ElementsAre("节点1#,2#未上线"));
}

TEST_F(OnlineCheckTest, OnlineReportsFromTheLibrarysThreadDuringTheCheckAreReadWhole) {
  nodesAnswer(true, true);
  std::atomic<bool> checked{false};
  std::thread library([&] {
    while (!checked.load()) {
      library_.fireOnline(1, kNodeOnlineState);
      library_.fireOnline(2, kNodeOnlineState);
    }
  });
  for (int check = 0; check < 20; ++check) {
    dlg().onClose();
    openAndCheck();
  }
  checked.store(true);
  library.join();
  EXPECT_THAT(window_.messages(), IsEmpty());
  EXPECT_EQ(channel_->posts().size(), 20u);
}

TEST_F(OnlineCheckTest, BothOnlineTakesTheShownValuesAsAppliedAndConfiguresOnce) {
  nodesAnswer(true, true);
  window_.select(IDC_ACCEL1, 3);
  window_.select(IDC_MICROSTEP2, 4);
  window_.type(IDC_START_SPEED1, "700");
  window_.type(IDC_MAX_SPEED2, "abc");
  openAndCheck();

  EXPECT_THAT(window_.events(), ElementsAre("stop 1"));
  EXPECT_THAT(channel_->posts(), ElementsAre(RecordingChannel::Post(WM_AXIS_CONFIGURE, nullptr)));
  EXPECT_TRUE((dlg().table().applied(0) == AxisParameters{3, 32, 700, 4000}));
  EXPECT_TRUE((dlg().table().applied(1) == AxisParameters{5, 16, 600, 0}));
  EXPECT_TRUE(dlg().table().requested(1) == dlg().table().applied(1));
  EXPECT_EQ(enabledCommandButtons(), 0);  // only the configuration's reply enables them
}

TEST_F(OnlineCheckTest, TheTimerIsStoppedBeforeTheBoxSoATickInsideItRunsNoSecondCheck) {
  int ticksDelivered = 0;
  window_.whileMessageShown = [&] {
    // What the box's modal loop would deliver: a tick only while the timer is armed.
    if (window_.isArmed(TIMER_ONLINE_CHECK)) {
      ++ticksDelivered;
      dlg().onTimer(TIMER_ONLINE_CHECK);
    }
  };
  openAndCheck();
  EXPECT_EQ(ticksDelivered, 0);
  EXPECT_THAT(window_.events(), ElementsAre("stop 1", "message 节点1#,2#未上线"));
}

TEST_F(OnlineCheckTest, OtherTimersChangeNothing) {
  nodesAnswer(true, true);
  dlg().onOpen();
  library_.clearCalls();
  window_.clearEvents();
  for (int id : {0, 2, 1000}) {
    dlg().onTimer(id);
  }
  EXPECT_THAT(library_.calls(), IsEmpty());
  EXPECT_THAT(window_.events(), IsEmpty());
  EXPECT_THAT(channel_->posts(), IsEmpty());
  EXPECT_TRUE(window_.isArmed(TIMER_ONLINE_CHECK));
}

}  // namespace
}  // namespace halvane::testing
