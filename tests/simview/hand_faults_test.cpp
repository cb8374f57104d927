#include "sim/hand_faults.h"

#include <gtest/gtest.h>

#include "sim/rig_runner.h"
#include "tests/sim/sim_test_support.h"

namespace halvane::sim {
namespace {

using namespace testing;
using Kind = HandFault::Kind;

Outbox runUntilRest(RigCore& core, int node) {
  Outbox out;
  while (isMoving(core.nodeState(node))) {
    core.advanceTo(core.now() + kTickPeriod, out);
  }
  return out;
}

Outbox apply(RigCore& core, HandFault fault) {
  Outbox out;
  core.applyHandFault(fault, out);
  return out;
}

int call(RigCore& core, ExportId id, int node, int value = 0) {
  Outbox out;
  return core.handle(makeRequest(id, node, value), out).result;
}

TEST(HandFaults, ANodeTakenOffTheBusStopsAnsweringAndComesBackAfterTheOnlineDelay) {
  SimConfig config;
  RigCore core = openRig(config);  // online delay 0
  Outbox out = apply(core, {Kind::OffBus, 2});
  EXPECT_TRUE(hasEvent(out, "offline node=2"));
  EXPECT_TRUE(hasEvent(out, "hand node=2 fault=off-bus"));
  ASSERT_EQ(countKind(out, OutItem::Kind::OnlineReport), 1);
  EXPECT_EQ(out[1].node, 2);
  EXPECT_EQ(out[1].state, 0);
  EXPECT_FALSE(core.online(2));
  EXPECT_EQ(call(core, ExportId::PCAN_SetAccel, 2, 5), kErrNoAnswer);
  EXPECT_EQ(call(core, ExportId::PCAN_SetAccel, 1, 5), kOk);

  // Closing and opening the bus does not bring it back while it is held off.
  core.handle(makeRequest(ExportId::PCAN_ClosePort), out);
  core.handle(makeRequest(ExportId::PCAN_OpenPort, 4), out);
  core.advanceTo(core.now() + 1s, out);
  EXPECT_FALSE(core.online(2));

  out = apply(core, {Kind::OnBus, 2});
  EXPECT_TRUE(hasEvent(out, "hand node=2 fault=on-bus"));
  core.advanceTo(core.now(), out);
  EXPECT_TRUE(core.online(2));
}

TEST(HandFaults, AMoveOfANodeTakenOffTheBusEndsUnreported) {
  RigCore core = openRig(SimConfig{});
  call(core, ExportId::PCAN_StartRelStep, 1, 400);
  apply(core, {Kind::OffBus, 1});
  const Outbox out = runUntilRest(core, 1);
  EXPECT_TRUE(hasEvent(out, "rest node=1"));
  EXPECT_TRUE(hasEvent(out, "rest node=1 pos=400 angle=135.000 by=end report=no-bus"));
  EXPECT_EQ(countKind(out, OutItem::Kind::StatusReport), 0);
}

TEST(HandFaults, OnlyTheNextRestReportIsLost) {
  RigCore core = openRig(SimConfig{});
  EXPECT_TRUE(hasEvent(apply(core, {Kind::LoseNextRest, 1}), "hand node=1 fault=lose-next-rest"));
  for (const char* report : {"lost", "sent"}) {
    call(core, ExportId::PCAN_StartRelStep, 1, 100);
    const Outbox out = runUntilRest(core, 1);
    bool found = false;
    for (const OutItem& item : out) {
      found = found || item.text.find(std::string("report=") + report) != std::string::npos;
    }
    EXPECT_TRUE(found) << report;
  }
}

TEST(HandFaults, OnlyTheNextCallOfTheChosenExportFails) {
  RigCore core = openRig(SimConfig{});
  const Outbox out = apply(core, {Kind::FailNextCall, 0, ExportId::PCAN_SetMicroStep});
  EXPECT_TRUE(hasEvent(out, "hand node=- fault=fail-next-call export=PCAN_SetMicroStep"));
  EXPECT_EQ(call(core, ExportId::PCAN_SetAccel, 1, 5), kOk);
  EXPECT_EQ(call(core, ExportId::PCAN_SetMicroStep, 2, 32), kErrInjected);
  EXPECT_EQ(call(core, ExportId::PCAN_SetMicroStep, 2, 32), kOk);
  EXPECT_EQ(core.nodeState(2).settings.microstep, 32);
}

TEST(HandFaults, AHiddenSwitchIsNeverSeenUntilShownAgain) {
  SimConfig config;
  config.startAngleDegrees = {1.0, 200.0};  // node 1 starts on the switch
  RigCore core = openRig(config);
  EXPECT_EQ(inputWord(core.nodeState(1)), 0);
  EXPECT_TRUE(hasEvent(apply(core, {Kind::HideSwitch, 1}), "hand node=1 fault=hide-switch"));
  EXPECT_EQ(inputWord(core.nodeState(1)), kInputOffHomeSwitch);
  apply(core, {Kind::ShowSwitch, 1});
  EXPECT_EQ(inputWord(core.nodeState(1)), 0);
}

TEST(HandFaults, AWheelTurnedByHandMovesWithoutCountingSteps) {
  RigCore core = openRig(SimConfig{});
  const int32_t before = core.nodeState(2).position;
  const Outbox out = apply(core, {Kind::TurnByHand, 2, ExportId::PCAN_Init, -205.0});
  EXPECT_TRUE(hasEvent(out, "hand node=2 fault=turn degrees=-205.000 angle=35"));
  EXPECT_NEAR(wheelDegrees(core.nodeState(2)), 355.0, 0.01);
  EXPECT_EQ(core.nodeState(2).position, before);
  apply(core, {Kind::TurnByHand, 2, ExportId::PCAN_Init, 10.0});
  EXPECT_NEAR(wheelDegrees(core.nodeState(2)), 5.0, 0.01);
}

TEST(HandFaults, TheRunnerHandsThemToTheRigAndTracesThem) {
  FakePlatform platform;
  MemoryTrace trace;
  RigRunner runner(SimConfig{}, platform, &trace, RigRunner::Threading::Inline);
  runner.inject({Kind::TurnByHand, 1, ExportId::PCAN_Init, 30.0});
  EXPECT_NEAR(runner.snapshots().read().nodes[0].wheelDegrees, 120.0, 0.01);
  ASSERT_FALSE(trace.lines.empty());
  EXPECT_NE(trace.lines.back().find("event hand node=1 fault=turn degrees=30.000"),
            std::string::npos)
      << trace.lines.back();
}

}  // namespace
}  // namespace halvane::sim
