// The simulated rig's own window beside the program: it shows where the wheels are, and a fault
// made with its controls acts on the running rig at once.
#include <gtest/gtest.h>

#include <string>

#include "driver/operator_steps.h"
#include "driver/rig_view_probe.h"

namespace halvane::e2e {
namespace {

// The view's controls for node 1: 1000 + 10 * node + role.
constexpr int kTakeOffNode1 = 1010;
constexpr int kSummaryNode1 = 1015;
constexpr int kSlot4Row = 3;

bool traceHas(const ProgramSession& session, const std::string& text) {
  for (const std::string& line : session.trace()) {
    if (line.find(text) != std::string::npos) {
      return true;
    }
  }
  return false;
}

TEST(RigView, ShowsTheWheelAtItsSlotAndItsFaultsReachTheProgram) {
  SessionOptions options;
  options.simulatorSettings = {{L"HALVANE_SIM_VIEW", L"1"}, {L"HALVANE_SIM_TIME_SCALE", L"25"}};
  ProgramSession session(options);
  ASSERT_TRUE(session.started());
  HWND view = nullptr;
  ASSERT_TRUE(waitUntil([&] { return (view = findRigView(session.processId())) != nullptr; }));
  EXPECT_EQ(windowText(view), L"模拟转台");
  ASSERT_TRUE(openAndConfigure(session));

  WindowProbe& window = session.window();
  window.click(IDC_RESET1);
  ASSERT_TRUE(session.waitForCalls("PCAN_StartRelStep(1, ", 1));
  ASSERT_TRUE(waitForCommandButtons(window, true, std::chrono::seconds(30)));
  window.selectListRow(IDC_POSITION1, kSlot4Row);
  window.click(IDC_SEND_POSITION1);
  ASSERT_TRUE(session.waitForCalls("PCAN_StartRelStep(1, ", 2));
  ASSERT_TRUE(waitForCommandButtons(window, true, std::chrono::seconds(30)));

  const HWND summary = GetDlgItem(view, kSummaryNode1);
  EXPECT_TRUE(waitUntil([&] { return windowText(summary) == L"转盘1 位置4 静止 在线"; }))
      << narrow(windowText(summary));
  EXPECT_GT(SendMessageW(view, simview::kQueryFramesPainted, 0, 0), 0);
  EXPECT_FALSE(window.messageBox().has_value());

  // Node 1 taken off the bus from the view: the next homing's first call goes unanswered.
  PostMessageW(GetDlgItem(view, kTakeOffNode1), BM_CLICK, 0, 0);
  ASSERT_TRUE(waitUntil([&] { return traceHas(session, "event hand node=1 fault=off-bus"); }));
  EXPECT_TRUE(waitUntil([&] { return windowText(summary) == L"转盘1 位置4 静止 离线（已拔下）"; }))
      << narrow(windowText(summary));
  window.click(IDC_RESET1);
  EXPECT_EQ(window.takeMessage(), L"GetGPIOValue fail!");
  EXPECT_TRUE(waitForCommandButtons(window, true));
}

}  // namespace
}  // namespace halvane::e2e
