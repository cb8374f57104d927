#include "sim/rig_snapshot.h"

#include <gtest/gtest.h>

#include "sim/rig_runner.h"
#include "tests/sim/sim_test_support.h"

namespace halvane::sim {
namespace {

using namespace testing;

struct InlineRig {
  FakePlatform platform;
  MemoryTrace trace;
  RigRunner runner{[] {
                     SimConfig config;
                     config.onlineDelay = Duration::zero();
                     return config;
                   }(),
                   platform, &trace, RigRunner::Threading::Inline};

  int call(Request request) { return runner.call(request); }
  void open() {
    call(makeRequest(ExportId::PCAN_Init, 8, 2, 1));
    call(makeRequest(ExportId::PCAN_OpenPort, 4));
    runner.pump();
  }
};

TEST(RigSnapshot, FollowsTheBusTheMoveAndTheCalls) {
  InlineRig rig;
  const RigSnapshot atLoad = rig.runner.snapshots().read();
  EXPECT_EQ(atLoad.version, 1u);  // the wheels show where they stand before any call
  EXPECT_NEAR(atLoad.nodes[1].wheelDegrees, 200.0, 0.01);
  EXPECT_FALSE(atLoad.busOpen);
  rig.open();
  RigSnapshot s = rig.runner.snapshots().read();
  EXPECT_TRUE(s.busOpen);
  EXPECT_EQ(s.kbps, 125);
  EXPECT_TRUE(s.nodes[0].online && s.nodes[1].online);
  EXPECT_TRUE(s.nodes[0].recentCalls.empty());  // bus-level calls belong to no node

  rig.call(nodeRequest(ExportId::PCAN_SetExtStopEnable, 1, 1));
  rig.call(nodeRequest(ExportId::PCAN_StartRelStep, 1, 800));
  rig.call(nodeRequest(ExportId::PCAN_SetAccel, 2, 99));
  rig.platform.time += 100ms;
  rig.runner.pump();
  const RigSnapshot moving = rig.runner.snapshots().read();
  EXPECT_GT(moving.version, s.version);
  EXPECT_TRUE(moving.nodes[0].moving);
  EXPECT_TRUE(moving.anyMoving());
  EXPECT_GT(moving.nodes[0].speed, 0);
  EXPECT_EQ(moving.nodes[0].extStop, ExtStopState::Armed);
  EXPECT_GT(moving.nodes[0].position, 0);
  EXPECT_EQ(moving.nodes[0].microstep, 16);
  EXPECT_EQ(moving.nodes[0].recentCalls,
            (std::vector<std::string>{"PCAN_SetExtStopEnable(1, 1) -> 0",
                                      "PCAN_StartRelStep(1, 800) -> 0"}));
  EXPECT_EQ(moving.nodes[1].recentCalls, std::vector<std::string>{"PCAN_SetAccel(2, 99) -> 2"});
  EXPECT_FALSE(moving.nodes[1].moving);

  rig.platform.time += 10s;
  rig.runner.pump();
  s = rig.runner.snapshots().read();
  EXPECT_FALSE(s.anyMoving());
  EXPECT_EQ(s.nodes[0].speed, 0);
  EXPECT_NEAR(s.nodes[0].wheelDegrees, 180.0, 1e-9);  // a quarter turn on from 90 degrees
  EXPECT_EQ(s.nodes[0].position, 800);
}

TEST(RigSnapshot, KeepsTheLastFewCallsOfEachNode) {
  CallHistory history;
  for (int i = 0; i < 8; ++i) {
    history.record(makeRequest(ExportId::PCAN_SetAccel, 1, i), Answer{0, std::nullopt, {}});
  }
  int value = 0;
  history.record(makeRequest(ExportId::PCAN_GetMotorPos, 2, &value), Answer{3, std::nullopt, {}});
  history.record(makeRequest(ExportId::PCAN_GetMotorPos, 7, &value), Answer{3, std::nullopt, {}});
  history.record(makeRequest(ExportId::PCAN_OpenPort, 4), Answer{0, std::nullopt, {}});
  ASSERT_EQ(history.of(1).size(), kRecentCallCount);
  EXPECT_EQ(history.of(1).front(), "PCAN_SetAccel(1, 3) -> 0");
  EXPECT_EQ(history.of(1).back(), "PCAN_SetAccel(1, 7) -> 0");
  ASSERT_EQ(history.of(2).size(), 1u);
  EXPECT_EQ(history.of(2).front(), "PCAN_GetMotorPos(2, &) -> 3");
}

TEST(RigSnapshot, AWatcherIsWokenOnceForEachTimeItAsks) {
  SnapshotBoard board;
  int wakes = 0;
  board.setWatcher([&] { ++wakes; });
  board.publish({});
  EXPECT_EQ(wakes, 0);
  board.watchNext();
  board.publish({});
  board.publish({});
  EXPECT_EQ(wakes, 1);
  board.watchNext();
  board.publish({});
  EXPECT_EQ(wakes, 2);
  EXPECT_EQ(board.read().version, 4u);
}

TEST(RigSnapshot, TheViewIsOnUnlessTurnedOff) {
  const struct {
    const char* value;
    bool view;
    size_t problems;
  } cases[] = {{nullptr, true, 0}, {"", true, 0},    {"1", true, 0}, {"0", false, 0},
               {" 0 ", false, 0},  {"off", true, 1}, {"2", true, 1}};
  for (const auto& c : cases) {
    std::map<std::string, std::string> values;
    if (c.value != nullptr) {
      values[kVarView] = c.value;
    }
    const ParsedConfig parsed = parseConfig(MapEnvironment(values));
    EXPECT_EQ(parsed.config.view, c.view) << (c.value ? c.value : "unset");
    EXPECT_EQ(parsed.problems.size(), c.problems) << (c.value ? c.value : "unset");
  }
}

}  // namespace
}  // namespace halvane::sim
