#include "motion/homing.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>

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

// Calls without the position reads the wait makes while the motor turns.
std::vector<std::string> callsBesidesPolling(const FakeControllerLibrary& library) {
  std::vector<std::string> calls;
  for (const std::string& call : library.calls()) {
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

// A motor behind the fake library, told by the position reads: once a move has started it turns
// for `travelReads` reads and then stands. Reports are sent at given reads; read 0 is inside the
// start call itself.
struct MotorScript {
  int travelReads = 4;
  std::multimap<int, unsigned char> reports;  // read number -> second status byte
  bool readsFail = false;
};

struct MotorState {
  std::atomic<bool> started{false};
  std::atomic<int> reads{0};
  std::atomic<int> position{0};
};

std::shared_ptr<MotorState> runMotor(FakeRig& rig, const MotorScript& script) {
  auto state = std::make_shared<MotorState>();
  FakeControllerLibrary& library = rig.library;
  const auto reportAt = [&library, script](int read, int node) {
    auto [from, to] = script.reports.equal_range(read);
    for (auto it = from; it != to; ++it) {
      library.fireStatus(node, kStatusKindMotion, it->second);
    }
  };
  library.setHandler("PCAN_StartRelStep",
                     [state, reportAt](const FakeControllerLibrary::Arguments& a) {
                       state->started = true;
                       reportAt(0, a.node());
                       return 0;
                     });
  library.setHandler("PCAN_GetMotorPos",
                     [state, reportAt, script](const FakeControllerLibrary::Arguments& a) {
                       if (state->started) {
                         const int read = ++state->reads;
                         if (read <= script.travelReads) {
                           state->position -= 60;
                         }
                         reportAt(read, a.node());
                       }
                       *a.out = state->position;
                       return script.readsFail ? 1 : 0;
                     });
  return state;
}

// The first turntable off its switch, reaching it with the homing move.
void setOffTheSwitch(FakeRig& rig) {
  rig.configure(kMicrostepTwo);
  rig.library.setOutValue("PCAN_GetGPIOValue", 1, kInputOffHomeSwitch);
  rig.library.setOutValue("PCAN_GetControlStatus", 1, kControlStoppedBySwitch);
}

const MotorScript kReportedMove{4, {{1, kMoving}, {5, kAtRest}}};

class Homing : public ::testing::Test {
 protected:
  Homing() { setOffTheSwitch(rig); }

  FakeRig rig;
};

// How the wait learns that the move has ended. A rest report counts only after something that
// came once the start had returned showed motion; the position standing still stands in for a
// report that never comes. `reads` is the position read after which a report ended the wait, or
// the fewest reads after which the standing still can have ended it.
TEST(HomingWait, EndsOnTheRestOfThisMoveOnly) {
  struct Case {
    const char* name;
    MotorScript script;
    int reads;
    bool byReport;
  };
  const Case cases[] = {
      {"moving and rest reports", {4, {{1, kMoving}, {5, kAtRest}}}, 5, true},
      {"a rest report from before the move, delivered inside the start",
       {4, {{0, kMoving}, {0, kAtRest}, {1, kMoving}, {5, kAtRest}}},
       5,
       true},
      {"a rest report after the start, before anything showed motion",
       {4, {{1, kAtRest}, {2, kMoving}, {5, kAtRest}}},
       5,
       true},
      {"no moving report: the position shows the motion", {4, {{5, kAtRest}}}, 5, true},
      {"position reads failing: the reports alone",
       {4, {{1, kMoving}, {5, kAtRest}}, true},
       5,
       true},
      // The position changes up to read 4; read 5 is the first that can find it standing.
      {"no report at all", {4, {}}, 5, false},
      // The read right after the start, and one more that finds the same position.
      {"a move that ends inside the start", {0, {{0, kMoving}, {0, kAtRest}}}, 2, false},
  };
  for (const Case& c : cases) {
    FakeRig fresh;
    setOffTheSwitch(fresh);
    const auto motor = runMotor(fresh, c.script);
    runHoming(*fresh.context, *fresh.first, 0);
    EXPECT_THAT(fresh.alerts.texts(), IsEmpty()) << c.name;
    EXPECT_THAT(callsBesidesPolling(fresh.library), ElementsAreArray(kFullHoming)) << c.name;
    EXPECT_TRUE(fresh.first->idleEvent().isSet()) << c.name;
    if (c.byReport) {
      EXPECT_EQ(motor->reads.load(), c.reads) << c.name;
    } else {
      EXPECT_GE(motor->reads.load(), c.reads) << c.name;
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
       [](FakeRig& r) { r.library.setOutValue("PCAN_GetControlStatus", 1, 0x02); },
       kFullHoming,
       {"Failure of home switch!!\n"}},
      {"without the status read bit 0 is clear: switch not reached",
       [](FakeRig& r) { r.library.removeExport("PCAN_GetControlStatus"); },
       without(kFullHoming, "PCAN_GetControlStatus(1, &)"),
       {"Failure of home switch!!\n"}},
      {"without the start nothing is waited for",
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
    EXPECT_TRUE(failing.first->idleEvent().isSet()) << "a failed homing leaves no move pending";
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
