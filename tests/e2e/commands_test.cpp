// The eight command buttons on the simulated rig: homing, slot moves and rotations with their exact
// calls, the guards, failures, and the buttons coming back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/e2e/operator_steps.h"

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

std::vector<std::string> withoutPositionReads(const std::vector<std::string>& calls) {
  std::vector<std::string> kept;
  for (const std::string& call : calls) {
    if (call.rfind("PCAN_GetMotorPos(", 0) != 0) {
      kept.push_back(call);
    }
  }
  return kept;
}

TEST_F(Commands, HomingOffTheSwitchDrivesOntoItAndKeepsTheButtonsDisabledMeanwhile) {
  start();
  window().click(IDC_RESET1);
  ASSERT_TRUE(session_->waitForCalls("PCAN_StartRelStep(1, 9600)", 1));
  EXPECT_TRUE(commandButtonsAre(window(), false));
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
