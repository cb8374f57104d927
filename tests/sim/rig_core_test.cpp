#include "sim/rig_core.h"

#include <gtest/gtest.h>

#include "common/controller_exports.h"
#include "sim/home_switch.h"
#include "tests/sim/sim_test_support.h"

namespace halvane::sim {
namespace {

using namespace testing;
using Kind = OutItem::Kind;

// Advances in ticks of the rig's own period until `node` is at rest or `limit` has passed.
Outbox runUntilRest(RigCore& core, int node, Duration limit = 600s) {
  Outbox out;
  const Duration end = core.now() + limit;
  while (isMoving(core.nodeState(node)) && core.now() < end) {
    core.advanceTo(core.now() + kTickPeriod, out);
  }
  return out;
}

int callOut(RigCore& core, ExportId id, int node, int& value) {
  Outbox out;
  const Answer a = core.handle(makeRequest(id, node, &value), out);
  if (a.out) {
    value = *a.out;
  }
  return a.result;
}

int call(RigCore& core, ExportId id, int node, int value) {
  Outbox out;
  return core.handle(makeRequest(id, node, value), out).result;
}

TEST(RigCore, BeforeTheBusIsOpenNodeCallsFailWithoutBusTraffic) {
  RigCore core(SimConfig{});
  Outbox out;
  const Answer a = core.handle(makeRequest(ExportId::PCAN_SetAccel, 1, 5), out);
  EXPECT_EQ(a.result, kErrNotOpen);
  EXPECT_EQ(a.busTime, Duration::zero());
  EXPECT_EQ(core.handle(makeRequest(ExportId::PCAN_OpenPort, 4), out).result, kErrNotOpen);
  int online = 5;
  EXPECT_EQ(callOut(core, ExportId::PCAN_IsSlaveOnline, 1, online), kErrNotOpen);
  EXPECT_EQ(online, 5);
}

TEST(RigCore, InitChecksAdapterModeAndChannel) {
  RigCore core(SimConfig{});
  Outbox out;
  EXPECT_EQ(core.handle(makeRequest(ExportId::PCAN_Init, 9, 2, 1), out).result, kErrRefused);
  EXPECT_EQ(core.handle(makeRequest(ExportId::PCAN_Init, 8, 3, 1), out).result, kErrRefused);
  EXPECT_EQ(core.handle(makeRequest(ExportId::PCAN_Init, 8, 2, 0), out).result, kErrRefused);
  EXPECT_EQ(core.handle(makeRequest(ExportId::PCAN_Init, 0, 2, 1), out).result, kOk);
  EXPECT_EQ(core.handle(makeRequest(ExportId::PCAN_OpenPort, 9), out).result, kErrRefused);
  EXPECT_EQ(core.handle(makeRequest(ExportId::PCAN_OpenPort, 4), out).result, kOk);
  EXPECT_EQ(core.handle(makeRequest(ExportId::PCAN_OpenPort, 4), out).result, kErrBusy);
  EXPECT_EQ(core.handle(makeRequest(ExportId::PCAN_Init, 0, 2, 1), out).result, kErrBusy);
}

TEST(RigCore, NodesComeOnlineAfterTheDelayAndGoOfflineWithTheBus) {
  SimConfig config;
  config.onlineDelay = 300ms;
  RigCore core(config);
  Outbox out;
  core.advanceTo(1s, out);
  core.handle(makeRequest(ExportId::PCAN_Init, 8, 2, 1), out);
  core.handle(makeRequest(ExportId::PCAN_OpenPort, 4), out);
  EXPECT_EQ(core.nextWake(), 1300ms);
  core.advanceTo(1299ms, out);
  EXPECT_EQ(countKind(out, Kind::OnlineReport), 0);
  EXPECT_FALSE(core.online(1));
  core.advanceTo(1300ms, out);
  ASSERT_EQ(countKind(out, Kind::OnlineReport), 2);
  EXPECT_TRUE(core.online(1) && core.online(2));
  EXPECT_EQ(core.nextWake(), std::nullopt);

  int online = 0;
  out.clear();
  const Answer a = core.handle(makeRequest(ExportId::PCAN_IsSlaveOnline, 2, &online), out);
  EXPECT_EQ(a.result, kOk);
  EXPECT_EQ(a.out, 1);
  EXPECT_EQ(a.busTime, 1776us);

  EXPECT_EQ(core.handle(makeRequest(ExportId::PCAN_ClosePort), out).result, kOk);
  int offline = 0;
  for (const OutItem& item : out) {
    if (item.kind == Kind::OnlineReport) {
      EXPECT_EQ(item.state, 0);
      ++offline;
    }
  }
  EXPECT_EQ(offline, 2);
  EXPECT_FALSE(core.online(1));
  EXPECT_EQ(core.handle(makeRequest(ExportId::PCAN_ClosePort), out).result, kErrNotOpen);
}

TEST(RigCore, ClosingBeforeTheDelayCancelsComingOnline) {
  SimConfig config;
  RigCore core(config);
  Outbox out;
  core.handle(makeRequest(ExportId::PCAN_Init, 8, 2, 1), out);
  core.handle(makeRequest(ExportId::PCAN_OpenPort, 4), out);
  core.handle(makeRequest(ExportId::PCAN_ClosePort), out);
  core.advanceTo(10s, out);
  EXPECT_EQ(countKind(out, Kind::OnlineReport), 0);
}

TEST(RigCore, ANodeThatNeverComesOnlineDoesNotAnswer) {
  SimConfig config;
  config.neverOnline[1] = true;
  RigCore core = openRig(config);
  EXPECT_TRUE(core.online(1));
  EXPECT_FALSE(core.online(2));
  int online = 7;
  Outbox out;
  const Answer ping = core.handle(makeRequest(ExportId::PCAN_IsSlaveOnline, 2, &online), out);
  EXPECT_EQ(ping.result, kOk);
  EXPECT_EQ(ping.out, 0);
  EXPECT_EQ(ping.busTime, 888us + kAnswerTimeout);
  const Answer set = core.handle(makeRequest(ExportId::PCAN_SetAccel, 2, 5), out);
  EXPECT_EQ(set.result, kErrNoAnswer);
  EXPECT_EQ(set.busTime, 888us + kAnswerTimeout);
  EXPECT_EQ(call(core, ExportId::PCAN_SetAccel, 3, 5), kErrNoAnswer);
}

TEST(RigCore, NodeCallsTakeRequestAndAnswerAtTheOpenedSpeed) {
  SimConfig config;
  config.onlineDelay = Duration::zero();
  RigCore core(config);
  Outbox out;
  core.handle(makeRequest(ExportId::PCAN_Init, 8, 2, 1), out);
  core.handle(makeRequest(ExportId::PCAN_OpenPort, 8), out);  // 1000 kbit/s
  core.advanceTo(0ns, out);
  EXPECT_EQ(core.handle(makeRequest(ExportId::PCAN_SetAccel, 1, 5), out).busTime, 222us);
  EXPECT_EQ(core.handle(makeRequest(ExportId::PCAN_SetEventCallback,
                                    static_cast<OnlineCallbackFn>(nullptr),
                                    static_cast<SpareCallbackFn>(nullptr),
                                    static_cast<StatusCallbackFn>(nullptr)),
                        out)
                .busTime,
            Duration::zero());
}

TEST(RigCore, TheControllerRefusesValuesOutsideItsRange) {
  RigCore core = openRig(SimConfig{});
  EXPECT_EQ(call(core, ExportId::PCAN_SetAccel, 1, 9), kErrRefused);
  EXPECT_EQ(call(core, ExportId::PCAN_SetDecel, 1, -1), kErrRefused);
  EXPECT_EQ(call(core, ExportId::PCAN_SetMicroStep, 1, 3), kErrRefused);
  EXPECT_EQ(call(core, ExportId::PCAN_SetMicroStep, 1, 512), kErrRefused);
  EXPECT_EQ(call(core, ExportId::PCAN_SetMicroStep, 1, 0), kOk);
  EXPECT_EQ(call(core, ExportId::PCAN_SetMicroStep, 1, 256), kOk);
  EXPECT_EQ(call(core, ExportId::PCAN_SetStartSpeed, 1, -1), kErrRefused);
  EXPECT_EQ(call(core, ExportId::PCAN_SetMaxSpeed, 1, 0), kErrRefused);
  EXPECT_EQ(call(core, ExportId::PCAN_SetMaxSpeed, 1, 200001), kErrRefused);
  EXPECT_EQ(call(core, ExportId::PCAN_SetMaxSpeed, 1, -800), kOk);
  EXPECT_EQ(call(core, ExportId::PCAN_SetDir, 1, 2), kErrRefused);
  EXPECT_EQ(call(core, ExportId::PCAN_SetWorkMode, 1, 1), kErrRefused);
  EXPECT_EQ(call(core, ExportId::PCAN_SetExtStopTrigger, 1, 2), kErrRefused);
  EXPECT_EQ(call(core, ExportId::PCAN_ClearExtStopFlag, 1, 256), kErrRefused);
  EXPECT_EQ(core.nodeState(1).settings.maxSpeed, -800);
  EXPECT_EQ(core.nodeState(1).settings.microstep, 256);
}

TEST(RigCore, AnOutValueNeedsSomewhereToGo) {
  RigCore core = openRig(SimConfig{});
  Outbox out;
  const Answer a =
      core.handle(makeRequest(ExportId::PCAN_GetMotorPos, 1, static_cast<int*>(nullptr)), out);
  EXPECT_EQ(a.result, kErrRefused);
  EXPECT_EQ(a.busTime, Duration::zero());
}

// The program's homing, call by call.
TEST(RigCore, HomingReachesTheSwitchAndReportsStartAndRest) {
  SimConfig config;
  config.startAngleDegrees[0] = 90;
  RigCore core = openRig(config);
  call(core, ExportId::PCAN_SetMicroStep, 1, 32);
  int inputs = 0;
  EXPECT_EQ(callOut(core, ExportId::PCAN_GetGPIOValue, 1, inputs), kOk);
  EXPECT_EQ(inputs, kInputOffHomeSwitch);
  EXPECT_EQ(call(core, ExportId::PCAN_SetExtStopTrigger, 1, 0), kOk);
  EXPECT_EQ(call(core, ExportId::PCAN_SetExtStopEnable, 1, 1), kOk);
  EXPECT_EQ(call(core, ExportId::PCAN_ClearExtStopFlag, 1, 1), kOk);
  EXPECT_EQ(call(core, ExportId::PCAN_SetWorkMode, 1, 0), kOk);
  EXPECT_EQ(call(core, ExportId::PCAN_SetMaxSpeed, 1, -800), kOk);

  Outbox started;
  EXPECT_EQ(core.handle(makeRequest(ExportId::PCAN_StartRelStep, 1, 32 * 300), started).result,
            kOk);
  ASSERT_EQ(countKind(started, Kind::StatusReport), 1);
  EXPECT_TRUE(hasEvent(started, "move-start node=1 steps=9600 dir=down"));
  EXPECT_EQ(started.back().bytes[1], kStatusMoving);
  EXPECT_EQ(core.nextWake(), core.now() + kTickPeriod);

  const Duration start = core.now();
  const Outbox rest = runUntilRest(core, 1);
  EXPECT_TRUE(hasEvent(rest, "switch node=1 entered=1 ext_stop=stopped"));
  EXPECT_TRUE(hasEvent(rest, "rest node=1"));
  ASSERT_EQ(countKind(rest, Kind::StatusReport), 1);
  const OutItem& report = rest.back();
  EXPECT_EQ(report.kind, Kind::StatusReport);
  EXPECT_EQ(report.bytes[0], kControlStoppedBySwitch);
  EXPECT_EQ(report.bytes[1], 0);
  // 1537 steps at about 800 steps/s.
  EXPECT_NEAR(std::chrono::duration<double>(core.now() - start).count(), 1537.0 / 800, 0.05);

  int status = 0;
  EXPECT_EQ(callOut(core, ExportId::PCAN_GetControlStatus, 1, status), kOk);
  EXPECT_EQ(status, kControlStoppedBySwitch);
  EXPECT_EQ(callOut(core, ExportId::PCAN_GetGPIOValue, 1, inputs), kOk);
  EXPECT_EQ(inputs, 0);
  EXPECT_EQ(call(core, ExportId::PCAN_SetExtStopEnable, 1, 0), kOk);
  EXPECT_EQ(call(core, ExportId::PCAN_ClearExtStopFlag, 1, 1), kOk);
  EXPECT_EQ(call(core, ExportId::PCAN_SetMotorPos, 1, 0), kOk);
  int position = 99;
  EXPECT_EQ(callOut(core, ExportId::PCAN_GetMotorPos, 1, position), kOk);
  EXPECT_EQ(position, 0);
  EXPECT_TRUE(onSwitch(core.nodeState(1).wheelUnits));
  EXPECT_EQ(core.nextWake(), std::nullopt);
}

TEST(RigCore, TimeScaleRunsMotionFaster) {
  SimConfig config;
  config.timeScale = 20;
  RigCore core = openRig(config);
  call(core, ExportId::PCAN_SetMaxSpeed, 1, 800);
  call(core, ExportId::PCAN_SetStartSpeed, 1, 800);
  const Duration start = core.now();
  call(core, ExportId::PCAN_StartRelStep, 1, 8000);  // 10 s of motion
  runUntilRest(core, 1);
  EXPECT_NEAR(std::chrono::duration<double>(core.now() - start).count(), 0.5, 0.005);
}

TEST(RigCore, ASecondStartWhileMovingIsRefused) {
  RigCore core = openRig(SimConfig{});
  EXPECT_EQ(call(core, ExportId::PCAN_StartRelStep, 1, 1000), kOk);
  EXPECT_EQ(call(core, ExportId::PCAN_StartRelStep, 1, 1000), kErrBusy);
  EXPECT_EQ(call(core, ExportId::PCAN_StartRelStep, 2, 1000), kOk);
}

TEST(RigCore, ALatchedExternalStopRefusesMovesUntilCleared) {
  SimConfig config;
  config.startAngleDegrees[0] = 10;
  RigCore core = openRig(config);
  call(core, ExportId::PCAN_SetExtStopEnable, 1, 1);
  call(core, ExportId::PCAN_SetMaxSpeed, 1, -800);
  call(core, ExportId::PCAN_StartRelStep, 1, 3000);
  runUntilRest(core, 1);
  EXPECT_EQ(call(core, ExportId::PCAN_StartRelStep, 1, 10), kErrExtStopLatched);
  EXPECT_EQ(call(core, ExportId::PCAN_ClearExtStopFlag, 1, 255), kOk);
  EXPECT_EQ(call(core, ExportId::PCAN_StartRelStep, 1, 10), kOk);
}

TEST(RigCore, SettingThePositionOnlyChangesTheCounter) {
  RigCore core = openRig(SimConfig{});
  const int32_t wheel = core.nodeState(1).wheelUnits;
  EXPECT_EQ(call(core, ExportId::PCAN_SetMotorPos, 1, 1234), kOk);
  int position = 0;
  callOut(core, ExportId::PCAN_GetMotorPos, 1, position);
  EXPECT_EQ(position, 1234);
  EXPECT_EQ(core.nodeState(1).wheelUnits, wheel);
}

TEST(RigCore, AZeroStepMoveReportsStartAndThenRest) {
  RigCore core = openRig(SimConfig{});
  Outbox out;
  core.handle(makeRequest(ExportId::PCAN_StartRelStep, 1, 0), out);
  core.advanceTo(core.now() + kTickPeriod, out);
  ASSERT_EQ(countKind(out, Kind::StatusReport), 2);
  EXPECT_TRUE(hasEvent(out, "rest node=1 pos=0"));
}

TEST(RigCore, ALostRestReportIsTracedButNotSent) {
  SimConfig config;
  config.lostRests.push_back({1, {2, true}});  // node 1's second rest report
  RigCore core = openRig(config);
  for (int move = 1; move <= 3; ++move) {
    Outbox out;
    core.handle(makeRequest(ExportId::PCAN_StartRelStep, 1, 100), out);
    const Outbox rest = runUntilRest(core, 1);
    EXPECT_EQ(countKind(rest, Kind::StatusReport), move == 2 ? 0 : 1) << move;
    EXPECT_TRUE(hasEvent(rest, move == 2 ? "rest node=1 pos=" : "rest node=1")) << move;
    bool sawLost = false;
    for (const OutItem& item : rest) {
      sawLost = sawLost || item.text.find("report=lost") != std::string::npos;
    }
    EXPECT_EQ(sawLost, move == 2);
  }
}

TEST(RigCore, AStaleRestReportFollowsTheStartReportOfTheChosenMoves) {
  SimConfig config;
  config.staleRests.push_back({1, {2, false}});  // node 1, from its second move on
  RigCore core = openRig(config);
  for (int move = 1; move <= 3; ++move) {
    Outbox out;
    core.handle(makeRequest(ExportId::PCAN_StartRelStep, 1, 100), out);
    std::vector<unsigned char> moving;
    for (const OutItem& item : out) {
      if (item.kind == Kind::StatusReport) {
        moving.push_back(item.bytes[1]);
      }
    }
    const auto expected = move == 1 ? std::vector<unsigned char>{kStatusMoving}
                                    : std::vector<unsigned char>{kStatusMoving, 0};
    EXPECT_EQ(moving, expected) << move;
    EXPECT_EQ(hasEvent(out, "stale-rest node=1"), move > 1) << move;
    EXPECT_TRUE(isMoving(core.nodeState(1))) << "the report is stale: the move runs on";
    runUntilRest(core, 1);
  }
}

TEST(RigCore, PeriodicStatusReportsOfOnlineNodesWhileTheBusIsOpen) {
  SimConfig config;
  config.onlineDelay = 0ms;
  config.statusPeriod = 50ms;
  RigCore core = openRig(config);
  Outbox out;
  core.handle(makeRequest(ExportId::PCAN_StartRelStep, 2, 100000), out);
  out.clear();
  core.advanceTo(core.now() + 49ms, out);
  EXPECT_EQ(countKind(out, Kind::StatusReport), 0);
  core.advanceTo(core.now() + 1ms, out);
  ASSERT_EQ(countKind(out, Kind::StatusReport), 2);  // one for each node
  EXPECT_EQ(out.back().node, 2);
  EXPECT_EQ(out.back().bytes[1], kStatusMoving);
  EXPECT_EQ(out[out.size() - 2].bytes[1], 0);  // node 1 stands
  ASSERT_TRUE(core.nextWake());
  call(core, ExportId::PCAN_ClosePort, 0, 0);
  out.clear();
  core.advanceTo(core.now() + 200ms, out);
  EXPECT_EQ(countKind(out, Kind::StatusReport), 0);
}

TEST(RigCore, APositionReadLagsTheWheelButNotASetPosition) {
  SimConfig config;
  config.positionLag = 100ms;
  RigCore core = openRig(config);
  Outbox out;
  core.handle(makeRequest(ExportId::PCAN_StartRelStep, 1, 100000), out);
  core.advanceTo(core.now() + 60ms, out);
  int position = -1;
  callOut(core, ExportId::PCAN_GetMotorPos, 1, position);
  EXPECT_EQ(position, 0);  // the move has not been seen yet
  const int32_t at60 = core.nodeState(1).position;
  ASSERT_NE(at60, 0);
  core.advanceTo(core.now() + 100ms, out);
  callOut(core, ExportId::PCAN_GetMotorPos, 1, position);
  EXPECT_EQ(position, at60);
  EXPECT_EQ(call(core, ExportId::PCAN_SetMotorPos, 1, 7), kOk);
  callOut(core, ExportId::PCAN_GetMotorPos, 1, position);
  EXPECT_EQ(position, 7);
}

// A library that refreshes the position now and then repeats it while the wheel turns; a wavering
// encoder adds a count every other read; a set position is read at once.
TEST(RigCore, APositionRefreshedNowAndThenRepeatsAndAWaveringOneMovesByACount) {
  SimConfig config;
  config.positionRefresh = 400ms;
  config.positionWavers[0] = true;
  RigCore core = openRig(config);
  Outbox out;
  core.handle(makeRequest(ExportId::PCAN_StartRelStep, 1, 100000), out);
  core.advanceTo(std::chrono::ceil<std::chrono::milliseconds>(core.now()) / 400ms * 400ms + 400ms,
                 out);
  std::vector<int> reads;
  for (int i = 0; i < 4; ++i) {
    int position = -1;
    callOut(core, ExportId::PCAN_GetMotorPos, 1, position);
    reads.push_back(position);
    core.advanceTo(core.now() + 90ms, out);
  }
  EXPECT_EQ(reads[1], reads[0] + 1);  // the same refresh, wavering
  EXPECT_EQ(reads[2], reads[0]);
  EXPECT_EQ(reads[3], reads[0] + 1);
  EXPECT_NE(reads[0], 0);
  core.advanceTo(core.now() + 100ms, out);  // past the next refresh
  int refreshed = -1;
  callOut(core, ExportId::PCAN_GetMotorPos, 1, refreshed);
  EXPECT_GT(std::abs(refreshed - reads[0]), 2);
  EXPECT_EQ(call(core, ExportId::PCAN_SetMotorPos, 1, 7), kOk);
  int set = -1;
  callOut(core, ExportId::PCAN_GetMotorPos, 1, set);
  EXPECT_TRUE(set == 7 || set == 8) << set;
}

TEST(RigCore, InjectedFailuresForOneNodeFromTheNthCall) {
  SimConfig config;
  config.failures.push_back({ExportId::PCAN_SetAccel, 2, {2, false}});
  RigCore core = openRig(config);
  EXPECT_EQ(call(core, ExportId::PCAN_SetAccel, 2, 5), kOk);
  EXPECT_EQ(call(core, ExportId::PCAN_SetAccel, 1, 5), kOk);
  EXPECT_EQ(call(core, ExportId::PCAN_SetAccel, 2, 6), kErrInjected);
  EXPECT_EQ(call(core, ExportId::PCAN_SetAccel, 2, 6), kErrInjected);
  EXPECT_EQ(call(core, ExportId::PCAN_SetAccel, 1, 6), kOk);
  EXPECT_EQ(core.nodeState(2).settings.accelLevel, 5);  // a failed call changes nothing
}

TEST(RigCore, InjectedFailureOfOnlyTheNthCall) {
  SimConfig config;
  config.failures.push_back({ExportId::PCAN_OpenPort, 0, {1, true}});
  RigCore core(config);
  Outbox out;
  core.handle(makeRequest(ExportId::PCAN_Init, 8, 2, 1), out);
  EXPECT_EQ(core.handle(makeRequest(ExportId::PCAN_OpenPort, 4), out).result, kErrInjected);
  EXPECT_TRUE(hasEvent(out, "fault node=- export=PCAN_OpenPort call=1"));
  EXPECT_FALSE(core.busOpen());
  EXPECT_EQ(core.handle(makeRequest(ExportId::PCAN_OpenPort, 4), out).result, kOk);
}

TEST(RigCore, AnInjectedFailureWritesNoOutValue) {
  SimConfig config;
  config.failures.push_back({ExportId::PCAN_IsSlaveOnline, 2, {}});
  RigCore core = openRig(config);
  Outbox out;
  int online = 0;
  const Answer a = core.handle(makeRequest(ExportId::PCAN_IsSlaveOnline, 2, &online), out);
  EXPECT_EQ(a.result, kErrInjected);
  EXPECT_EQ(a.out, std::nullopt);
}

TEST(RigCore, AMissingSwitchRunsTheWholeHomingMove) {
  SimConfig config;
  config.switchMissing[0] = true;
  RigCore core = openRig(config);
  call(core, ExportId::PCAN_SetMicroStep, 1, 2);
  call(core, ExportId::PCAN_SetExtStopEnable, 1, 1);
  call(core, ExportId::PCAN_SetMaxSpeed, 1, -800);
  call(core, ExportId::PCAN_StartRelStep, 1, 600);
  const Outbox rest = runUntilRest(core, 1);
  EXPECT_TRUE(hasEvent(rest, "rest node=1 pos=-600"));
  int status = 1;
  callOut(core, ExportId::PCAN_GetControlStatus, 1, status);
  EXPECT_EQ(status, 0);
}

TEST(RigCore, ARestWhileTheBusIsClosedIsNotReported) {
  RigCore core = openRig(SimConfig{});
  call(core, ExportId::PCAN_StartRelStep, 1, 500);
  Outbox out;
  core.handle(makeRequest(ExportId::PCAN_ClosePort), out);
  const Outbox rest = runUntilRest(core, 1);
  EXPECT_EQ(countKind(rest, Kind::StatusReport), 0);
  EXPECT_EQ(core.nodeState(1).position, 500);  // the motor ran on
}

TEST(RigCore, StatusBytesCarryControlStatusMotionPositionAndInputs) {
  NodeState s;
  s.position = -2;
  s.extStopFlag = kExtStopFlagInput1;
  s.wheelUnits = wheelUnitsFromDegrees(90);
  const auto bytes = statusBytes(s, true);
  EXPECT_EQ(bytes[0], 0x01);
  EXPECT_EQ(bytes[1], 0x08);
  EXPECT_EQ(bytes[2], 0xFE);
  EXPECT_EQ(bytes[5], 0xFF);
  EXPECT_EQ(bytes[6], 0x80);
}

}  // namespace
}  // namespace halvane::sim
