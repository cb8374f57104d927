#include "motion/homing.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <optional>

#include "motion/moves.h"
#include "tests/support/fake_rig.h"

namespace halvane {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using testing::FakeControllerLibrary;
using testing::FakeRig;
using ::testing::IsEmpty;

constexpr AxisParameters kMicrostepTwo{5, 2, 600, 4000};
constexpr unsigned char kMoving = 0x08;
constexpr unsigned char kAtRest = 0x00;

// Calls without the reads the wait makes while the motor turns: its position reads, and the control
// status reads but the last, which the homing goes on with.
std::vector<std::string> callsBesidesPolling(const FakeControllerLibrary& library) {
  std::vector<std::string> calls;
  for (const std::string& call : library.calls()) {
    const bool statusRead = call.rfind("PCAN_GetControlStatus(", 0) == 0;
    if (statusRead && !calls.empty() && calls.back() == call) {
      calls.pop_back();
    }
    if (call.rfind("PCAN_GetMotorPos(", 0) != 0) {
      calls.push_back(call);
    }
  }
  return calls;
}

const std::vector<std::string> kFullHoming = {
    "PCAN_GetGPIOValue(1, &)",     "PCAN_SetExtStopTrigger(1, 0)", "PCAN_SetExtStopEnable(1, 1)",
    "PCAN_ClearExtStopFlag(1, 1)", "PCAN_SetWorkMode(1, 0)",       "PCAN_SetMaxSpeed(1, -800)",
    "PCAN_StartRelStep(1, 600)",   "PCAN_GetControlStatus(1, &)",  "PCAN_SetExtStopEnable(1, 0)",
    "PCAN_ClearExtStopFlag(1, 1)", "PCAN_SetMotorPos(1, 0)",       "PCAN_SetMaxSpeed(1, 4000)"};

std::vector<std::string> without(std::vector<std::string> calls, const std::string& call) {
  calls.erase(std::find(calls.begin(), calls.end(), call));
  return calls;
}

// A motor behind the fake library whose clock is the wait's reads: the start is tick 0, and each
// position or control status read after it one more tick. It turns for `travelTicks` ticks (one
// step every `ticksPerStep`) and then stands, stopped by the switch or not; reports go at given
// ticks. Zeroing or disarming while it turns is recorded.
struct MotorReport {
  int tick = -1;             // none
  unsigned char status = 0;  // the second status byte
};

struct MotorScript {
  enum class Position { Live, Failing, Frozen, AtRestOnly };
  int travelTicks = 4;
  MotorReport reports[3];
  Position position = Position::Live;
  bool stoppedBySwitch = true;
  bool flagLeftLatched = false;  // never cleared: bit 0 set from before the move
  int ticksPerStep = 1;
};

struct MotorState {
  std::mutex mutex;
  int ticks = -1;  // not started
  int position = 0;
  std::optional<int> zeroedAtTick;
  bool endedWhileMoving = false;
};

std::shared_ptr<MotorState> runMotor(FakeRig& rig, const MotorScript& script) {
  using P = MotorScript::Position;
  auto state = std::make_shared<MotorState>();
  FakeControllerLibrary& library = rig.library;
  const auto moving = [state, script] {
    return state->ticks >= 0 && state->ticks < script.travelTicks;
  };
  const auto handle = [=, &library](const std::string& name, const auto& a) {
    std::vector<unsigned char> due;  // sent with the lock released
    {
      std::lock_guard lock(state->mutex);
      const bool start = name == "PCAN_StartRelStep";
      if (start || (state->ticks >= 0 && name.find("_Get") != std::string::npos)) {
        const bool turning = moving();
        state->ticks = start ? 0 : state->ticks + 1;
        state->position -= turning && state->ticks % script.ticksPerStep == 0 ? 60 : 0;
        for (const MotorReport& report : script.reports) {
          if (report.tick == state->ticks) {
            due.push_back(report.status);
          }
        }
      }
      if (name == "PCAN_GetMotorPos" &&
          (script.position == P::Live || (script.position == P::AtRestOnly && !moving()))) {
        *a.out = state->position;  // frozen: never written; at rest only: 0 while it turns
      } else if (name == "PCAN_GetControlStatus") {
        const bool bySwitch = (script.stoppedBySwitch && !moving()) || script.flagLeftLatched;
        *a.out = bySwitch ? kControlStoppedBySwitch : 0;
      } else if (name == "PCAN_SetMotorPos" ||
                 (name == "PCAN_SetExtStopEnable" && a.values[1] == 0)) {
        state->endedWhileMoving |= moving();
        state->zeroedAtTick = name == "PCAN_SetMotorPos" ? state->ticks : state->zeroedAtTick;
      }
    }
    for (unsigned char report : due) {
      library.fireStatus(a.node(), kStatusKindMotion, report);
    }
    return name == "PCAN_GetMotorPos" && script.position == P::Failing ? 1 : 0;
  };
  for (const std::string name : {"PCAN_StartRelStep", "PCAN_GetMotorPos", "PCAN_GetControlStatus",
                                 "PCAN_SetMotorPos", "PCAN_SetExtStopEnable"}) {
    library.setHandler(name, [handle, name](const auto& a) { return handle(name, a); });
  }
  if (script.flagLeftLatched) {
    library.removeExport("PCAN_ClearExtStopFlag");
  }
  return state;
}

// The first turntable off its switch, reaching it with the homing move.
void setOffTheSwitch(FakeRig& rig) {
  rig.configure(kMicrostepTwo);
  rig.library.setOutValue("PCAN_GetGPIOValue", 1, kInputOffHomeSwitch);
  rig.library.setOutValue("PCAN_GetControlStatus", 1, kControlStoppedBySwitch);
}

const MotorScript kReportedMove{4, {{1, kMoving}, {4, kAtRest}}};

class Homing : public ::testing::Test {
 protected:
  Homing() { setOffTheSwitch(rig); }

  FakeRig rig;
};

// How the wait learns that the move has ended, from reports that may be stale or lost and position
// reads that may fail or stand still. Whatever comes, the stop is never disarmed nor the position
// zeroed while the wheel turns, the wait ends, and where the switch stopped the wheel or a report
// came, it ends within a few reads of the real rest.
TEST(HomingWait, EndsOnlyOnEvidenceOfThisMovesRest) {
  using P = MotorScript::Position;
  const std::vector<std::string> none;
  const std::vector<std::string> noSwitch = {"Failure of home switch!!\n"};
  const std::vector<std::string> timeout = {"Homing timeout: the motor did not come to rest!\n"};
  struct Case {
    const char* name;
    MotorScript script;
    std::vector<std::string> alerts;
    int ticksLate;  // most reads after the real rest before the zero
  };
  const Case cases[] = {
      {"moving and rest reports", {20, {{0, kMoving}, {20, kAtRest}}}, none, 1},
      {"a stale rest inside the start", {20, {{0, kMoving}, {0, kAtRest}, {20, kAtRest}}}, none, 1},
      {"moving, then a stale rest after the start returned",
       {20, {{1, kMoving}, {1, kAtRest}, {20, kAtRest}}},
       none,
       1},
      {"a stale rest, and the real one lost", {20, {{0, kMoving}, {1, kAtRest}}}, none, 2},
      {"position reads failing", {20, {{0, kMoving}, {20, kAtRest}}, P::Failing}, none, 1},
      {"position reads failing, no rest report", {20, {{0, kMoving}}, P::Failing}, none, 2},
      {"a frozen position, a stale rest",
       {40, {{0, kMoving}, {1, kAtRest}, {40, kAtRest}}, P::Frozen},
       none,
       1},
      {"a position seen only at rest, a stale rest, no switch",
       {20, {{0, kMoving}, {1, kAtRest}, {20, kAtRest}}, P::AtRestOnly, false},
       noSwitch,
       20},
      {"a slow wheel, a stale rest, no switch",
       {20, {{0, kMoving}, {1, kAtRest}, {20, kAtRest}}, P::Live, false, false, 3},
       noSwitch,
       20},
      {"no report at all", {8, {}}, none, 2},
      {"no switch and no report", {8, {}, P::Live, false}, noSwitch, 40},
      {"a move that ends inside the start", {0, {{0, kMoving}, {0, kAtRest}}}, none, 1},
      {"a flag left set from before, a stale rest",
       {20, {{0, kMoving}, {1, kAtRest}, {20, kAtRest}}, P::Live, true, true},
       none,
       20},
      // Nothing that can be trusted: no zero on a guess.
      {"a frozen position, no switch",
       {20, {{0, kMoving}, {20, kAtRest}}, P::Frozen, false},
       timeout,
       0},
  };
  for (const Case& c : cases) {
    FakeRig fresh;
    setOffTheSwitch(fresh);
    const auto motor = runMotor(fresh, c.script);
    runHoming(*fresh.context, *fresh.first, 0);
    EXPECT_THAT(fresh.alerts.texts(), ElementsAreArray(c.alerts)) << c.name;
    std::lock_guard lock(motor->mutex);
    EXPECT_FALSE(motor->endedWhileMoving) << c.name;
    if (c.alerts != timeout) {
      ASSERT_TRUE(motor->zeroedAtTick) << c.name;
      EXPECT_LE(*motor->zeroedAtTick - c.script.travelTicks, c.ticksLate) << c.name;
      EXPECT_TRUE(fresh.first->idleEvent().isSet()) << c.name;
    } else {
      EXPECT_FALSE(motor->zeroedAtTick) << c.name;
    }
  }
}

// The homing sequences: which calls, in order, and what the operator is shown.
TEST(HomingSequence, CallsInOrderForEachStartingPoint) {
  struct Case {
    const char* name;
    std::function<void(FakeRig&)> setUp;
    std::vector<std::string> calls;
    std::vector<std::string> alerts;
  };
  const std::vector<std::string> onTheSwitch = {
      "PCAN_GetGPIOValue(1, &)", "PCAN_SetExtStopEnable(1, 0)", "PCAN_ClearExtStopFlag(1, 1)",
      "PCAN_SetMotorPos(1, 0)", "PCAN_SetMaxSpeed(1, 4000)"};
  const Case cases[] = {
      {"off the switch: one and a half turns backwards", [](FakeRig&) {}, kFullHoming, {}},
      {"on the switch: zeroed without moving",
       [](FakeRig& r) { r.library.setOutValue("PCAN_GetGPIOValue", 1, 0x7F); },
       onTheSwitch,
       {}},
      {"without the input read the input word is 0: on the switch",
       [](FakeRig& r) { r.library.removeExport("PCAN_GetGPIOValue"); },
       without(onTheSwitch, "PCAN_GetGPIOValue(1, &)"),
       {}},
      {"switch not reached: reported, still zeroed",
       [](FakeRig& r) {
         runMotor(r, {4, {{1, kMoving}, {4, kAtRest}}, MotorScript::Position::Live, false});
       },
       kFullHoming,
       {"Failure of home switch!!\n"}},
      {"without the status read bit 0 is clear: switch not reached",
       [](FakeRig& r) { r.library.removeExport("PCAN_GetControlStatus"); },
       without(kFullHoming, "PCAN_GetControlStatus(1, &)"),
       {"Failure of home switch!!\n"}},
      {"a move of no steps, the switch not reached: nothing to wait for",
       [](FakeRig& r) {
         r.configure({5, 0, 600, 4000});
         runMotor(r, {0, {}, MotorScript::Position::Live, false});
       },
       [] {
         auto calls = kFullHoming;
         calls[6] = "PCAN_StartRelStep(1, 0)";
         return calls;
       }(),
       {"Failure of home switch!!\n"}},
      {"without the start, a motor at rest is not waited for",
       [](FakeRig& r) { r.library.removeExport("PCAN_StartRelStep"); },
       without(kFullHoming, "PCAN_StartRelStep(1, 600)"),
       {}},
  };
  for (const Case& c : cases) {
    FakeRig fresh;
    setOffTheSwitch(fresh);
    runMotor(fresh, kReportedMove);
    c.setUp(fresh);
    runHoming(*fresh.context, *fresh.first, 0);
    EXPECT_THAT(callsBesidesPolling(fresh.library), ElementsAreArray(c.calls)) << c.name;
    EXPECT_THAT(fresh.alerts.texts(), ElementsAreArray(c.alerts)) << c.name;
    EXPECT_EQ(fresh.table.applied(0).maxSpeed, 4000) << c.name;
  }
}

TEST_F(Homing, AChangedMicrostepIsSentFirstAndSizesTheMove) {
  runMotor(rig, kReportedMove);
  rig.table.setRequested(0, AxisParameters{5, 256, 600, 4000});
  runHoming(*rig.context, *rig.first, 0);
  const auto calls = callsBesidesPolling(rig.library);
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[0], "PCAN_SetMicroStep(1, 256)");
  EXPECT_EQ(calls[1], "PCAN_GetGPIOValue(1, &)");
  EXPECT_THAT(calls, ::testing::Contains("PCAN_StartRelStep(1, 76800)"));
  EXPECT_EQ(rig.table.applied(0).microstep, 256);
}

TEST_F(Homing, TheSecondAxisUsesItsOwnNodeAndValues) {
  runMotor(rig, kReportedMove);
  rig.table.setRequested(1, AxisParameters{5, 4, 600, 1000});
  rig.table.setApplied(1, &AxisParameters::maxSpeed, 1000);
  rig.table.setApplied(1, &AxisParameters::microstep, 4);
  rig.library.setOutValue("PCAN_GetGPIOValue", 2, kInputOffHomeSwitch);
  rig.library.setOutValue("PCAN_GetControlStatus", 2, kControlStoppedBySwitch);
  runHoming(*rig.context, *rig.second, 1);
  const auto calls = callsBesidesPolling(rig.library);
  EXPECT_THAT(calls, ::testing::Contains("PCAN_StartRelStep(2, 1200)"));
  EXPECT_EQ(calls.back(), "PCAN_SetMaxSpeed(2, 1000)");
}

// Without the start export nothing is started here, but a move an earlier command left turning is
// waited for on the idle event as it stands, within the bound.
TEST_F(Homing, WithoutTheStartAMoveLeftTurningIsWaitedFor) {
  rig.library.removeExport("PCAN_StartRelStep");
  rig.library.fireStatus(1, kStatusKindMotion, kMoving);
  runHoming(*rig.context, *rig.first, 0);
  EXPECT_THAT(rig.alerts.texts(), ElementsAre("Homing timeout: the motor did not come to rest!\n"));
  EXPECT_THAT(rig.library.callsNamed("PCAN_SetMotorPos"), IsEmpty());
}

TEST(HomingFailures, WithoutTheLibraryTheInputReadFails) {
  FakeRig absent(/*loadable=*/false);
  runHoming(*absent.context, *absent.first, 0);
  EXPECT_THAT(absent.alerts.texts(), ElementsAre("GetGPIOValue fail!"));
}

// Every call site: the failure shows its text and no later call is made.
TEST(HomingFailures, EachFailingCallEndsTheRoutineWithItsMessage) {
  const char* const texts[] = {
      "GetGPIOValue fail!",       "SetExtStopTrigger fail!\n", "SetExtStopEnable fail!",
      "ClearExtStopFlag fail!\n", "SetWorkMode fail!\n",       "SetMaxSpeed fail!\n",
      "StartRelStep fail!\n",     "GetControlStatus fail!\n",  "SetExtStopEnable fail!",
      "ClearExtStopFlag fail!\n", "SetMotorPos fail!\n",       "SetMaxSpeed fail!\n"};
  for (size_t site = 0; site < kFullHoming.size(); ++site) {
    FakeRig failing;
    setOffTheSwitch(failing);
    const std::string& call = kFullHoming[site];
    const std::string exportName = call.substr(0, call.find('('));
    int occurrence = 0;
    for (size_t i = 0; i <= site; ++i) {
      occurrence += kFullHoming[i].rfind(exportName + "(", 0) == 0 ? 1 : 0;
    }
    failing.library.failOccurrence(exportName, occurrence);
    runHoming(*failing.context, *failing.first, 0);
    EXPECT_THAT(failing.alerts.texts(), ElementsAre(texts[site])) << call;
    const std::vector<std::string> expected(kFullHoming.begin(),
                                            kFullHoming.begin() + static_cast<long>(site) + 1);
    EXPECT_THAT(callsBesidesPolling(failing.library), ElementsAreArray(expected)) << call;
    // Only a failed status read leaves the move pending: nothing had shown it at rest.
    EXPECT_EQ(failing.first->idleEvent().isSet(), exportName != "PCAN_GetControlStatus") << call;
  }
}

// A homing that ends after it has put its own speed on the node leaves that recorded, so the next
// move puts the operator's speed back first; after a complete homing, or one that ends before, the
// next move sends none. Also after Close and Open, whose configuration sends no maximum speed.
TEST(HomingFailures, AnEndAfterTheHomingSpeedLeavesItToTheNextMoveToReplace) {
  struct Case {
    const char* name;
    const char* failing;  // export, and which of its calls in the homing
    int occurrence;
    bool resent;
  };
  const Case cases[] = {
      {"complete", "", 0, false},
      {"work mode refused", "PCAN_SetWorkMode", 1, false},
      {"homing speed refused", "PCAN_SetMaxSpeed", 1, false},
      {"start refused", "PCAN_StartRelStep", 1, true},
      {"no rest within the bound", "", 0, true},
      {"status read failing", "PCAN_GetControlStatus", 1, true},
      {"stop not disarmed", "PCAN_SetExtStopEnable", 2, true},
      {"flag not cleared", "PCAN_ClearExtStopFlag", 2, true},
      {"position not zeroed", "PCAN_SetMotorPos", 1, true},
      {"operator's speed refused", "PCAN_SetMaxSpeed", 2, true},
  };
  enum class Next { Slot, Forward, Reverse };
  for (const Case& c : cases) {
    for (Next next : {Next::Slot, Next::Forward, Next::Reverse}) {
      for (bool reopened : {false, true}) {
        FakeRig rig;
        setOffTheSwitch(rig);
        rig.table.setSlot(0, 1);  // 66 steps in: never a multiple of the script's 60-step reads
        rig.table.setForwardAngle(0, 90);
        rig.table.setReverseAngle(0, 90);
        const bool rests = std::string(c.name) != "no rest within the bound";
        runMotor(rig, rests ? kReportedMove : MotorScript{1000000, {}});
        if (*c.failing != '\0') {
          rig.library.failOccurrence(c.failing, c.occurrence);
        }
        runHoming(*rig.context, *rig.first, 0);
        EXPECT_EQ(rig.table.applied(0).maxSpeed, c.resent ? kHomingMaxSpeed : 4000) << c.name;
        if (reopened) {
          rig.table.takeOverRequested();
        }
        rig.library.clearCalls();
        if (next == Next::Slot) {
          moveToSlot(*rig.context, *rig.first, 0);
        } else {
          rotate(*rig.context, *rig.first, 0,
                 next == Next::Forward ? Rotation::Forward : Rotation::Reverse);
        }
        const auto calls = rig.library.calls();
        const auto speed = std::find(calls.begin(), calls.end(), "PCAN_SetMaxSpeed(1, 4000)");
        const auto start = std::find_if(calls.begin(), calls.end(), [](const std::string& call) {
          return call.rfind("PCAN_StartRelStep(1, ", 0) == 0;
        });
        const std::string what = std::string(c.name) + (reopened ? ", reopened" : "") +
                                 ", then move " + std::to_string(static_cast<int>(next));
        ASSERT_NE(start, calls.end()) << what;
        EXPECT_EQ(speed < start, c.resent) << what;
        EXPECT_EQ(rig.table.applied(0).maxSpeed, 4000) << what;
      }
    }
  }
}

// The position keeps changing, so only the rest report can end the wait.
void keepPositionMoving(FakeRig& rig) {
  auto position = std::make_shared<std::atomic<int>>(0);
  rig.library.setHandler("PCAN_GetMotorPos", [position](const FakeControllerLibrary::Arguments& a) {
    *a.out = --*position;
    return 0;
  });
}

TEST_F(Homing, AMotorThatNeverComesToRestEndsTheRoutineAfterTheBound) {
  keepPositionMoving(rig);
  runHoming(*rig.context, *rig.first, 0);
  EXPECT_THAT(rig.alerts.texts(), ElementsAre("Homing timeout: the motor did not come to rest!\n"));
  const auto calls = callsBesidesPolling(rig.library);
  EXPECT_EQ(calls.back(), "PCAN_StartRelStep(1, 600)");
}

TEST_F(Homing, TheBoundGrowsWithTheMove) {
  keepPositionMoving(rig);
  rig.context->homing.minimumBound = std::chrono::milliseconds(10);
  rig.context->homing.boundPerStepMs = 0.5;  // 600 steps: 300 ms
  const auto started = std::chrono::steady_clock::now();
  runHoming(*rig.context, *rig.first, 0);
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(300));
  EXPECT_THAT(rig.alerts.texts(), ElementsAre("Homing timeout: the motor did not come to rest!\n"));
}

TEST(HomingFailures, AMicrostepWhoseMoveCannotBeCountedIsRefusedBeforeTheStart) {
  for (int microstep : {-2, 7158279}) {  // 7,158,279 x 300 is past the 32-bit step count
    FakeRig refusing;
    refusing.configure(AxisParameters{5, microstep, 600, 4000});
    refusing.library.setOutValue("PCAN_GetGPIOValue", 1, kInputOffHomeSwitch);
    runHoming(*refusing.context, *refusing.first, 0);
    EXPECT_THAT(refusing.alerts.texts(), ElementsAre("MicroStep out of range!\n")) << microstep;
    EXPECT_THAT(refusing.library.callsNamed("PCAN_StartRelStep"), IsEmpty()) << microstep;
  }
}

}  // namespace
}  // namespace halvane
