// Opening and closing the bus, and the online check three seconds later.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "driver/operator_steps.h"

namespace halvane::e2e {
namespace {

using ::testing::ElementsAre;

const std::vector<std::string> kConfiguration = {
    "PCAN_SetAccel(1, 5)",        "PCAN_SetDecel(1, 5)",       "PCAN_SetMicroStep(1, 32)",
    "PCAN_SetStartSpeed(1, 600)", "PCAN_SetStopSpeed(1, 600)", "PCAN_SetAccel(2, 5)",
    "PCAN_SetDecel(2, 5)",        "PCAN_SetMicroStep(2, 32)",  "PCAN_SetStartSpeed(2, 600)",
    "PCAN_SetStopSpeed(2, 600)"};

SessionOptions withSettings(std::map<std::wstring, std::wstring> settings) {
  SessionOptions options;
  options.simulatorSettings = std::move(settings);
  return options;
}

TEST(Connection, BothNodesOnlineConfiguresThemOnceAndGivesTheButtons) {
  ProgramSession session;
  ASSERT_TRUE(session.started());
  WindowProbe& window = session.window();
  window.click(IDC_OPEN);
  ASSERT_TRUE(waitUntil([&] { return window.isEnabled(IDC_CLOSE); }));
  EXPECT_FALSE(window.isEnabled(IDC_OPEN));
  EXPECT_TRUE(window.isEnabled(IDC_ADAPTER_LIST));
  EXPECT_TRUE(commandButtonsAre(window, false));
  ASSERT_TRUE(waitForCommandButtons(window, true, kCheckWait));

  const auto calls = session.calls();
  EXPECT_EQ(calls.front(), "PCAN_SetEventCallback(&, &, &)");
  EXPECT_THAT(callsFrom(calls, "PCAN_Init"),
              ::testing::IsSupersetOf({"PCAN_Init(8, 2, 1)", "PCAN_OpenPort(4)"}));
  const auto configured = callsFrom(calls, "PCAN_SetAccel");
  EXPECT_EQ(configured, kConfiguration);
  EXPECT_EQ(countStartingWith(calls, "PCAN_IsSlaveOnline("), 2u);
  EXPECT_FALSE(window.messageBox().has_value());
}

TEST(Connection, TheChosenAdapterAndSpeedReachTheLibrary) {
  ProgramSession session;
  ASSERT_TRUE(session.started());
  session.window().selectListRow(IDC_ADAPTER_LIST, 3);
  session.window().selectListRow(IDC_BAUD_LIST, 8);
  ASSERT_TRUE(openAndConfigure(session));
  EXPECT_THAT(session.calls(), ::testing::IsSupersetOf({"PCAN_Init(3, 2, 1)", "PCAN_OpenPort(8)"}));
}

TEST(Connection, AFailingOpenSaysWhichStepFailedAndOpeningAgainWorks) {
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"PCAN_Init@1", L"PCAN_Init fail!\n"}, {L"PCAN_OpenPort@1", L"PCAN_OpenPort fail!\n"}};
  for (const auto& [failure, text] : cases) {
    ProgramSession session(withSettings({{L"HALVANE_SIM_FAIL", failure}}));
    ASSERT_TRUE(session.started());
    session.window().click(IDC_OPEN);
    EXPECT_EQ(session.window().takeMessage(), text) << narrow(failure);
    EXPECT_TRUE(session.window().isEnabled(IDC_OPEN));
    EXPECT_FALSE(session.window().isEnabled(IDC_CLOSE));
    EXPECT_TRUE(openAndConfigure(session)) << "the next Open makes both calls again";
  }
}

TEST(Connection, EachMissingNodeIsNamedOnceAndNothingIsEnabled) {
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"2", L"节点2#未上线"}, {L"1", L"节点1#未上线"}, {L"1,2", L"节点1#,2#未上线"}};
  for (const auto& [offline, text] : cases) {
    ProgramSession session(withSettings({{L"HALVANE_SIM_OFFLINE", offline}}));
    ASSERT_TRUE(session.started());
    session.window().click(IDC_OPEN);
    const auto shown = session.window().takeMessage(kCheckWait.count());
    ASSERT_TRUE(shown.has_value()) << narrow(offline);
    EXPECT_EQ(*shown, text);
    EXPECT_TRUE(commandButtonsAre(session.window(), false));
    EXPECT_EQ(countStartingWith(session.calls(), "PCAN_SetAccel("), 0u);
  }
}

TEST(Connection, TheCheckDoesNotRunAgainWhileItsBoxIsOpen) {
  ProgramSession session(withSettings({{L"HALVANE_SIM_OFFLINE", L"2"}}));
  ASSERT_TRUE(session.started());
  session.window().click(IDC_OPEN);
  std::optional<HWND> box;
  ASSERT_TRUE(
      waitUntil([&] { return (box = session.window().messageBox()).has_value(); }, kCheckWait));
  // Leave the box open for longer than the timer's period: no second check may run.
  EXPECT_FALSE(
      waitUntil([&] { return countStartingWith(session.calls(), "PCAN_IsSlaveOnline(") > 1; },
                std::chrono::milliseconds(4000)));
  session.window().dismiss(*box);
  EXPECT_FALSE(waitUntil([&] { return session.window().messageBox().has_value(); },
                         std::chrono::milliseconds(4000)));
}

TEST(Connection, CloseDisablesEverythingAndOpenAgainConfiguresAgain) {
  ProgramSession session;
  ASSERT_TRUE(session.started());
  ASSERT_TRUE(openAndConfigure(session));
  WindowProbe& window = session.window();
  // Waits for the whole handler: it enables Open before it disables the rest.
  ASSERT_TRUE(window.clickAndWait(IDC_CLOSE));
  EXPECT_TRUE(window.isEnabled(IDC_OPEN));
  EXPECT_FALSE(window.isEnabled(IDC_CLOSE));
  EXPECT_TRUE(commandButtonsAre(window, false));
  EXPECT_TRUE(session.waitForCalls("PCAN_ClosePort()", 1));

  ASSERT_TRUE(openAndConfigure(session));
  EXPECT_EQ(countStartingWith(session.calls(), "PCAN_SetStopSpeed(2, 600)"), 2u);
}

TEST(Connection, CloseSoonAfterOpenStillRunsTheCheckAtItsTime) {
  ProgramSession session;
  ASSERT_TRUE(session.started());
  session.window().click(IDC_OPEN);
  ASSERT_TRUE(waitUntil([&] { return session.window().isEnabled(IDC_CLOSE); }));
  session.window().click(IDC_CLOSE);
  ASSERT_TRUE(waitUntil([&] { return session.window().isEnabled(IDC_OPEN); }));
  // The bus is closed, so the nodes have gone: the check names both.
  EXPECT_EQ(session.window().takeMessage(kCheckWait.count()), L"节点1#,2#未上线");
}

TEST(Connection, OpenCloseOpenGivesOneCheckAfterTheLastOpen) {
  ProgramSession session;
  ASSERT_TRUE(session.started());
  WindowProbe& window = session.window();
  window.click(IDC_OPEN);
  ASSERT_TRUE(waitUntil([&] { return window.isEnabled(IDC_CLOSE); }));
  window.click(IDC_CLOSE);
  ASSERT_TRUE(waitUntil([&] { return window.isEnabled(IDC_OPEN); }));
  ASSERT_TRUE(openAndConfigure(session));
  EXPECT_EQ(countStartingWith(session.calls(), "PCAN_SetAccel(1, 5)"), 1u);
  EXPECT_FALSE(window.messageBox().has_value());
}

}  // namespace
}  // namespace halvane::e2e
