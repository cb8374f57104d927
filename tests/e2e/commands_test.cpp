// The eight command buttons on the simulated rig: homing, slot moves and rotations with their exact
// calls, the guards, failures, and the buttons coming back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "driver/operator_steps.h"

namespace halvane::e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

constexpr wchar_t kTimeScale[] = L"25";

// A rig whose motion runs fast, opened and configured.
class Commands : public ::testing::Test {
 protected:
  void start(std::map<std::wstring, std::wstring> settings = {}) {
    SessionOptions options;
    options.simulatorSettings = std::move(settings);
    options.simulatorSettings.emplace(L"HALVANE_SIM_TIME_SCALE", kTimeScale);
    session_ = std::make_unique<ProgramSession>(options);
    ASSERT_TRUE(session_->started());
    ASSERT_TRUE(openAndConfigure(*session_));
  }
  // Clicks a command button and waits for the buttons to come back; the calls it made.
  std::vector<std::string> run(int button) {
    const size_t before = session_->calls().size();
    EXPECT_TRUE(window().clickAndWait(button));
    EXPECT_TRUE(waitForCommandButtons(window(), true, std::chrono::seconds(30)));
    const auto calls = session_->calls();
    return {calls.begin() + static_cast<long>(before), calls.end()};
  }
  WindowProbe& window() { return session_->window(); }

  std::unique_ptr<ProgramSession> session_;
};

const std::vector<std::string> kHomingOffTheSwitch = {
    "PCAN_GetGPIOValue(1, &)",     "PCAN_SetExtStopTrigger(1, 0)", "PCAN_SetExtStopEnable(1, 1)",
    "PCAN_ClearExtStopFlag(1, 1)", "PCAN_SetWorkMode(1, 0)",       "PCAN_SetMaxSpeed(1, -800)",
    "PCAN_StartRelStep(1, 9600)",  "PCAN_GetControlStatus(1, &)",  "PCAN_SetExtStopEnable(1, 0)",
    "PCAN_ClearExtStopFlag(1, 1)", "PCAN_SetMotorPos(1, 0)",       "PCAN_SetMaxSpeed(1, 4000)"};

// Without the reads a homing's wait makes for its own evidence: its position reads, and its status
// reads but the last, which the homing goes on with.
std::vector<std::string> withoutPositionReads(const std::vector<std::string>& calls) {
  std::vector<std::string> kept;
  for (const std::string& call : calls) {
    const bool statusRead = call.rfind("PCAN_GetControlStatus(", 0) == 0;
    if (statusRead && !kept.empty() && kept.back() == call) {
      kept.pop_back();
    }
    if (call.rfind("PCAN_GetMotorPos(", 0) != 0) {
      kept.push_back(call);
    }
  }
  return kept;
}

// Whether node 1's wheel has come to rest since its last move started, by the simulated rig's
// trace, which records the rest before it reports it.
bool homingMoveEnded(const ProgramSession& session) {
  bool ended = false;
  for (const TraceEntry& entry : parseTrace(session.trace())) {
    if (entry.kind == "event" && entry.text.find("node=1 ") != std::string::npos) {
      ended = entry.text.rfind("move-start ", 0) == 0 ? false
              : entry.text.rfind("rest ", 0) == 0     ? true
                                                      : ended;
    }
  }
  return ended;
}

TEST_F(Commands, HomingOffTheSwitchDrivesOntoItAndKeepsTheButtonsDisabledMeanwhile) {
  start({{L"HALVANE_SIM_TIME_SCALE", L"5"}});  // a move of about 2.4 s: time to look at it
  window().click(IDC_RESET1);
  ASSERT_TRUE(session_->waitForCalls("PCAN_StartRelStep(1, 9600)", 1));
  // The buttons are read first; a trace that still shows the move running after that proves they
  // were read while the homing ran (a busy machine may let it end before they are read).
  const bool disabled = commandButtonsAre(window(), false);
  ASSERT_FALSE(homingMoveEnded(*session_)) << "the move ended before the buttons could be read";
  EXPECT_TRUE(disabled);
  ASSERT_TRUE(waitForCommandButtons(window(), true, std::chrono::seconds(30)));
  EXPECT_THAT(withoutPositionReads(callsFrom(session_->calls(), "PCAN_GetGPIOValue(1")),
              ElementsAreArray(kHomingOffTheSwitch));
  EXPECT_FALSE(window().messageBox().has_value());
}

TEST_F(Commands, HomingOnTheSwitchOnlyZeroes) {
  start({{L"HALVANE_SIM_START_ANGLE", L"1:1"}});
  EXPECT_THAT(run(IDC_RESET1), ElementsAre("PCAN_GetGPIOValue(1, &)", "PCAN_SetExtStopEnable(1, 0)",
                                           "PCAN_ClearExtStopFlag(1, 1)", "PCAN_SetMotorPos(1, 0)",
                                           "PCAN_SetMaxSpeed(1, 4000)"));
}

TEST_F(Commands, ASwitchNeverFoundIsReportedAndTheButtonsComeBack) {
  start({{L"HALVANE_SIM_NO_SWITCH", L"2"}});
  window().click(IDC_RESET2);
  EXPECT_EQ(window().takeMessage(30000), L"Failure of home switch!!\n");
  ASSERT_TRUE(waitForCommandButtons(window(), true));
  EXPECT_EQ(session_->calls().back(), "PCAN_SetMaxSpeed(2, 4000)");
}

TEST_F(Commands, SlotMoveAfterHomingTurnsForwardToTheSlot) {
  start();
  run(IDC_RESET1);
  window().selectListRow(IDC_POSITION1, 3);
  EXPECT_THAT(run(IDC_SEND_POSITION1),
              ElementsAre("PCAN_GetMotorPos(1, &)", "PCAN_ClearExtStopFlag(1, 255)",
                          "PCAN_SetDir(1, 1)", "PCAN_StartRelStep(1, 3200)"));
}

// Where the first trace entry of `kind` starting with `prefix` is after `from`; the trace's size
// when none is.
size_t indexAfter(const std::vector<TraceEntry>& entries, size_t from, const std::string& kind,
                  const std::string& prefix) {
  for (size_t i = from; i < entries.size(); ++i) {
    if (entries[i].kind == kind && entries[i].text.rfind(prefix, 0) == 0) {
      return i;
    }
  }
  return entries.size();
}

size_t indexOf(const std::vector<TraceEntry>& entries, const std::string& kind,
               const std::string& prefix) {
  return indexAfter(entries, 0, kind, prefix);
}

// Libraries that report rest before the move has ended, late or not at all, with a position that
// lags, changes only at rest or cannot be read: the homing disarms the stop and zeroes the position
// only once the wheel stands on the switch.
TEST_F(Commands, HomingWaitsForTheRestOfItsOwnMove) {
  const std::map<std::wstring, std::wstring> cases[] = {
      {{L"HALVANE_SIM_STALE_REST", L"1"}, {L"HALVANE_SIM_STATUS_PERIOD_MS", L"20"}},
      // The start's moving report, then a stale rest, 4 ms after the start returned.
      {{L"HALVANE_SIM_REPORT_DELAY_MS", L"4"}, {L"HALVANE_SIM_STALE_REST", L"1"}},
      {{L"HALVANE_SIM_POSITION_AT_REST", L"1"},
       {L"HALVANE_SIM_STALE_REST", L"1"},
       {L"HALVANE_SIM_LOSE_REST", L"1"}},
      {{L"HALVANE_SIM_FAIL", L"PCAN_GetMotorPos:1"}},
      {{L"HALVANE_SIM_LOSE_REST", L"1"},
       {L"HALVANE_SIM_POSITION_LAG_MS", L"1500"},
       {L"HALVANE_SIM_TIME_SCALE", L"1"}},  // a move of about two seconds, longer than the lag
  };
  for (const auto& settings : cases) {
    start(settings);
    const std::string what = narrow(settings.begin()->first);
    ASSERT_TRUE(window().clickAndWait(IDC_RESET1)) << what;  // the buttons are off once it returns
    ASSERT_TRUE(waitForCommandButtons(window(), true, std::chrono::seconds(30))) << what;
    EXPECT_FALSE(window().messageBox().has_value()) << what;
    const auto entries = parseTrace(session_->trace());
    const size_t rest = indexOf(entries, "event", "rest node=1 ");
    ASSERT_LT(rest, entries.size()) << what;
    EXPECT_NE(entries[rest].text.find("by=ext-stop"), std::string::npos) << what;
    EXPECT_LT(indexOf(entries, "call", "PCAN_StartRelStep(1"), rest) << what;
    EXPECT_LT(rest, indexOf(entries, "call", "PCAN_SetExtStopEnable(1, 0)")) << what;
    EXPECT_LT(rest, indexOf(entries, "call", "PCAN_SetMotorPos(1")) << what;
    session_.reset();
  }
}

// The library behaviours that once misled the homing's wait, each on the simulated rig: the wheel
// is at rest before the stop is disarmed or the position zeroed, and the operator sees what the
// rest says. (The wait's reads a second are a figure of the bench.)
TEST_F(Commands, LibraryBehavioursThatOnceMisledTheWaitEndAsTheRestSays) {
  struct Case {
    const char* name;
    std::map<std::wstring, std::wstring> settings;
    const wchar_t* message;  // nullptr: none
    bool noStepsAfterARotationOfNone = false;
    int microstepRow = -1;  // as configured
  };
  const wchar_t* const noSwitch = L"Failure of home switch!!\n";
  const Case cases[] = {
      // Microstep 2: a move of 600 steps, over within a millisecond at this scale.
      {"the end shown at the first read, the rest reported 200 ms later, no switch",
       {{L"HALVANE_SIM_NO_SWITCH", L"1"},
        {L"HALVANE_SIM_REPORT_DELAY_MS", L"200"},
        {L"HALVANE_SIM_TIME_SCALE", L"1000"}},
       noSwitch,
       false,
       1},
      {"a position refreshed every 400 ms, a stale rest, no switch",
       {{L"HALVANE_SIM_POSITION_REFRESH_MS", L"400"},
        {L"HALVANE_SIM_STALE_REST", L"1"},
        {L"HALVANE_SIM_REPORT_DELAY_MS", L"280"},
        {L"HALVANE_SIM_NO_SWITCH", L"1"},
        {L"HALVANE_SIM_TIME_SCALE", L"5"}},
       noSwitch},
      {"the first status read failing, the position seen only at rest",
       {{L"HALVANE_SIM_FAIL", L"PCAN_GetControlStatus:1@1"},
        {L"HALVANE_SIM_POSITION_AT_REST", L"1"},
        {L"HALVANE_SIM_TIME_SCALE", L"5"}},
       nullptr},
      {"a wavering position, the rest report lost",
       {{L"HALVANE_SIM_POSITION_WAVER", L"1"}, {L"HALVANE_SIM_LOSE_REST", L"1"}},
       nullptr},
      {"a start of no steps after a rotation of none, every rest report lost",
       {{L"HALVANE_SIM_LOSE_REST", L"1@1+"}},
       noSwitch,
       true},
      {"the status repeated every 50 ms, a stale rest, no switch",
       {{L"HALVANE_SIM_STATUS_PERIOD_MS", L"50"},
        {L"HALVANE_SIM_STALE_REST", L"1"},
        {L"HALVANE_SIM_NO_SWITCH", L"1"},
        {L"HALVANE_SIM_TIME_SCALE", L"5"}},
       noSwitch},
  };
  for (const Case& c : cases) {
    start(c.settings);
    if (c.noStepsAfterARotationOfNone) {
      window().setText(IDC_FORWARD_ANGLE1, L"0");
      run(IDC_SEND_FORWARD1);
      window().selectListRow(IDC_MICROSTEP1, 0);  // microstep 0: a homing move of no steps
    }
    if (c.microstepRow >= 0) {
      window().selectListRow(IDC_MICROSTEP1, c.microstepRow);
    }
    const size_t before = parseTrace(session_->trace()).size();
    // The homing's boxes come from the worker, never from the click's handler: once the click has
    // been handled the buttons are off, so their coming back below is the homing's end.
    ASSERT_TRUE(window().clickAndWait(IDC_RESET1)) << c.name;
    if (c.message != nullptr) {
      EXPECT_EQ(window().takeMessage(30000), c.message) << c.name;
    }
    ASSERT_TRUE(waitForCommandButtons(window(), true, std::chrono::seconds(30))) << c.name;
    EXPECT_FALSE(window().messageBox().has_value()) << c.name;
    const auto entries = parseTrace(session_->trace());
    const size_t start = indexAfter(entries, before, "call", "PCAN_StartRelStep(1");
    const size_t rest = indexAfter(entries, start, "event", "rest node=1 ");
    const size_t disarm = indexAfter(entries, start, "call", "PCAN_SetExtStopEnable(1, 0)");
    ASSERT_LT(disarm, entries.size()) << c.name;
    EXPECT_LT(rest, disarm) << c.name;
    EXPECT_LT(disarm, indexAfter(entries, start, "call", "PCAN_SetMotorPos(1, 0)")) << c.name;
    session_.reset();
  }
}

// A homing that ends after it has set its own speed: the next move puts the operator's back first,
// and the wheel turns forwards.
TEST_F(Commands, AHomingEndedEarlyLeavesNoHomingSpeedForTheNextMove) {
  struct Case {
    const wchar_t* failure;
    const wchar_t* text;
    int next;
  };
  const Case cases[] = {
      {L"PCAN_SetMotorPos:1@1", L"SetMotorPos fail!\n", IDC_SEND_POSITION1},
      // Every read fails: the wait's own reads settle nothing, the homing's read at rest ends it.
      {L"PCAN_GetControlStatus:1", L"GetControlStatus fail!\n", IDC_SEND_FORWARD1},
  };
  for (const Case& c : cases) {
    start({{L"HALVANE_SIM_FAIL", c.failure}});
    window().click(IDC_RESET1);
    EXPECT_EQ(window().takeMessage(30000), c.text) << narrow(c.failure);
    ASSERT_TRUE(waitForCommandButtons(window(), true, std::chrono::seconds(30)));
    window().selectListRow(IDC_POSITION1, 3);
    window().setText(IDC_FORWARD_ANGLE1, L"90");
    const auto calls = run(c.next);
    const auto speed = std::find(calls.begin(), calls.end(), "PCAN_SetMaxSpeed(1, 4000)");
    const auto move = std::find_if(calls.begin(), calls.end(), [](const std::string& call) {
      return call.rfind("PCAN_StartRelStep(1, ", 0) == 0;
    });
    ASSERT_NE(move, calls.end()) << narrow(c.failure);
    EXPECT_LT(speed, move) << narrow(c.failure);
    const auto entries = parseTrace(session_->trace());
    const size_t started = indexOf(entries, "call", *move);
    ASSERT_LT(started, entries.size());
    bool forwards = false;
    for (size_t i = started; i < entries.size(); ++i) {
      if (entries[i].kind == "event" && entries[i].text.rfind("move-start node=1 ", 0) == 0) {
        forwards = entries[i].text.find(" dir=up ") != std::string::npos &&
                   entries[i].text.find("max_speed=4000") != std::string::npos;
        break;
      }
    }
    EXPECT_TRUE(forwards) << narrow(c.failure);
    session_.reset();
  }
}

TEST_F(Commands, RotationsTurnByWholeDegrees) {
  start();
  window().setText(IDC_FORWARD_ANGLE2, L"90");
  EXPECT_THAT(run(IDC_SEND_FORWARD2),
              ElementsAre("PCAN_ClearExtStopFlag(2, 255)", "PCAN_SetDir(2, 1)",
                          "PCAN_StartRelStep(2, 1600)"));
  window().setText(IDC_REVERSE_ANGLE1, L"45");
  EXPECT_THAT(run(IDC_SEND_REVERSE1),
              ElementsAre("PCAN_ClearExtStopFlag(1, 255)", "PCAN_SetDir(1, 0)",
                          "PCAN_StartRelStep(1, 800)"));
}

TEST_F(Commands, AChangedSpeedIsSentBeforeTheMove) {
  start();
  window().setText(IDC_MAX_SPEED1, L"2500");
  EXPECT_THAT(run(IDC_SEND_FORWARD1),
              ElementsAre("PCAN_ClearExtStopFlag(1, 255)", "PCAN_SetMaxSpeed(1, 2500)",
                          "PCAN_SetDir(1, 1)", "PCAN_StartRelStep(1, 3200)"));
}

TEST_F(Commands, AChangedMicrostepBlocksMovesOfThatTurntableUntilItIsHomed) {
  start();
  window().selectListRow(IDC_MICROSTEP1, 4);  // "16"
  for (int button : {IDC_SEND_POSITION1, IDC_SEND_FORWARD1, IDC_SEND_REVERSE1}) {
    const size_t before = session_->calls().size();
    window().click(button);
    EXPECT_EQ(window().takeMessage(), L"修改细分后转盘需要重新复位！") << button;
    EXPECT_TRUE(commandButtonsAre(window(), true));
    EXPECT_EQ(session_->calls().size(), before) << button;
  }
  // The other turntable still works; homing puts the new microstep in force.
  EXPECT_FALSE(run(IDC_SEND_FORWARD2).empty());
  const auto homing = run(IDC_RESET1);
  ASSERT_FALSE(homing.empty());
  EXPECT_EQ(homing.front(), "PCAN_SetMicroStep(1, 16)");
  EXPECT_THAT(homing, ::testing::Contains("PCAN_StartRelStep(1, 4800)"));
  EXPECT_FALSE(run(IDC_SEND_FORWARD1).empty());
}

TEST_F(Commands, ClicksOnDisabledButtonsAreIgnored) {
  session_ = std::make_unique<ProgramSession>();
  ASSERT_TRUE(session_->started());
  ASSERT_TRUE(commandButtonsAre(window(), false));
  for (int button : kCommandButtons) {
    EXPECT_TRUE(window().clickAndWait(button)) << button;  // handled, and no box in the way
  }
  EXPECT_TRUE(commandButtonsAre(window(), false));
  // The configuration runs after anything those clicks could have posted.
  ASSERT_TRUE(openAndConfigure(*session_));
  ASSERT_TRUE(session_->waitForCalls("PCAN_SetStopSpeed(2,", 1));
  const std::string busAndConfiguration[] = {
      "PCAN_SetEventCallback", "PCAN_Init",          "PCAN_OpenPort",
      "PCAN_IsSlaveOnline",    "PCAN_SetAccel",      "PCAN_SetDecel",
      "PCAN_SetMicroStep",     "PCAN_SetStartSpeed", "PCAN_SetStopSpeed"};
  const auto calls = session_->calls();
  for (const std::string& call : calls) {
    EXPECT_THAT(busAndConfiguration, ::testing::Contains(call.substr(0, call.find('(')))) << call;
  }
  EXPECT_EQ(countStartingWith(calls, "PCAN_SetAccel("), 2u);
  EXPECT_FALSE(window().messageBox().has_value());
}

TEST_F(Commands, ANegativeAngleIsRefusedBeforeAnythingIsSent) {
  start();
  window().setText(IDC_REVERSE_ANGLE1, L"-90");
  const size_t before = session_->calls().size();
  window().click(IDC_SEND_REVERSE1);
  const auto shown = window().takeMessage();
  ASSERT_TRUE(shown.has_value());
  EXPECT_NE(shown->find(L"负"), std::wstring::npos) << narrow(*shown);
  EXPECT_TRUE(commandButtonsAre(window(), true));
  EXPECT_EQ(session_->calls().size(), before);
}

TEST_F(Commands, AFailingExportShowsItsMessageAndGivesTheButtonsBack) {
  struct Case {
    const wchar_t* failure;
    int button;
    const wchar_t* text;
  };
  const Case cases[] = {
      {L"PCAN_SetDir:1", IDC_SEND_POSITION1, L"SetDir fail!\n"},
      {L"PCAN_StartRelStep:2", IDC_SEND_FORWARD2, L"StartRelStep fail!\n"},
      {L"PCAN_ClearExtStopFlag:1", IDC_SEND_REVERSE1, L"ClearExtStopFlag fail!\n"},
      {L"PCAN_GetGPIOValue:2", IDC_RESET2, L"GetGPIOValue fail!"},
      {L"PCAN_GetControlStatus:2", IDC_RESET2, L"GetControlStatus fail!\n"},
  };
  for (const Case& c : cases) {
    start({{L"HALVANE_SIM_FAIL", c.failure}});
    window().selectListRow(IDC_POSITION1, 2);
    window().click(c.button);
    EXPECT_EQ(window().takeMessage(), c.text) << narrow(c.failure);
    EXPECT_TRUE(waitForCommandButtons(window(), true)) << narrow(c.failure);
    session_.reset();
  }
}

TEST_F(Commands, AFailedConfigurationLeavesTheButtonsDisabled) {
  SessionOptions options;
  options.simulatorSettings = {{L"HALVANE_SIM_FAIL", L"PCAN_SetMicroStep:2"}};
  session_ = std::make_unique<ProgramSession>(options);
  ASSERT_TRUE(session_->started());
  window().click(IDC_OPEN);
  EXPECT_EQ(window().takeMessage(kCheckWait.count()), L"SetMicroStep fail!\n");
  EXPECT_FALSE(waitForCommandButtons(window(), true, std::chrono::milliseconds(500)));
}

TEST_F(Commands, ClosingDuringAHomingEndsTheProgramAtOnce) {
  SessionOptions options;  // real time: this homing takes seconds
  session_ = std::make_unique<ProgramSession>(options);
  ASSERT_TRUE(session_->started());
  ASSERT_TRUE(openAndConfigure(*session_));
  window().click(IDC_RESET2);
  ASSERT_TRUE(session_->waitForCalls("PCAN_StartRelStep(2", 1));
  EXPECT_TRUE(session_->closeByEscape());
  EXPECT_EQ(countStartingWith(session_->calls(), "PCAN_ClosePort"), 0u);
}

}  // namespace
}  // namespace halvane::e2e
