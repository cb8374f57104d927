// Start-up as the operator meets it: the window's contents, focus and menu, and a missing library.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "driver/operator_steps.h"
#include "ui/resource_ids.h"

namespace halvane::e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

TEST(StartUp, TheWindowOpensWithEveryListTextAndState) {
  ProgramSession session;
  ASSERT_TRUE(session.started());
  WindowProbe& window = session.window();

  EXPECT_EQ(windowText(window.handle()), L"衰减控制系统");
  EXPECT_EQ(window.text(IDC_TITLE), L"衰减控制系统");
  EXPECT_THAT(
      window.listItems(IDC_ADAPTER_LIST),
      ElementsAre(L"蓝马电子A1+", L"乐的USB-CAN", L"YL9100", L"IXXAT", L"广成USBCAN-I",
                  L"周立功USBCAN-I", L"周立功USBCAN-E-U", L"周立功CANET-TCPC", L"创芯CANalyst-II"));
  EXPECT_EQ(window.listSelection(IDC_ADAPTER_LIST), 8);
  EXPECT_THAT(window.listItems(IDC_BAUD_LIST),
              ElementsAre(L"10Kbps", L"20Kbps", L"50Kbps", L"100Kbps", L"125Kbps", L"250Kbps",
                          L"500Kbps", L"800Kbps", L"1000Kbps"));
  EXPECT_EQ(window.listSelection(IDC_BAUD_LIST), 4);
  for (int offset : {0, IDC_SECOND_AXIS_OFFSET}) {
    EXPECT_THAT(window.listItems(IDC_ACCEL1 + offset),
                ElementsAre(L"0", L"1", L"2", L"3", L"4", L"5", L"6", L"7", L"8"));
    EXPECT_EQ(window.listSelection(IDC_ACCEL1 + offset), 5);
    EXPECT_THAT(window.listItems(IDC_MICROSTEP1 + offset),
                ElementsAre(L"0", L"2", L"4", L"8", L"16", L"32", L"64", L"128", L"256"));
    EXPECT_EQ(window.listSelection(IDC_MICROSTEP1 + offset), 5);
    EXPECT_THAT(window.listItems(IDC_POSITION1 + offset),
                ElementsAre(L"位置1", L"位置2", L"位置3", L"位置4", L"位置5", L"位置6"));
    EXPECT_EQ(window.listSelection(IDC_POSITION1 + offset), 0);
    EXPECT_EQ(window.text(IDC_START_SPEED1 + offset), L"600");
    EXPECT_EQ(window.text(IDC_MAX_SPEED1 + offset), L"4000");
    EXPECT_EQ(window.text(IDC_FORWARD_ANGLE1 + offset), L"180");
    EXPECT_EQ(window.text(IDC_REVERSE_ANGLE1 + offset), L"180");
  }

  EXPECT_EQ(window.text(IDC_OPEN), L"打开");
  EXPECT_EQ(window.text(IDC_CLOSE), L"关闭");
  EXPECT_EQ(window.text(IDC_RESET1), L"转盘1\n复位");
  EXPECT_EQ(window.text(IDC_RESET2), L"转盘2\n复位");
  EXPECT_EQ(window.text(IDC_SEND_POSITION2), L"发送");
  EXPECT_TRUE(window.isEnabled(IDC_OPEN));
  EXPECT_FALSE(window.isEnabled(IDC_CLOSE));
  EXPECT_TRUE(window.isEnabled(IDC_ADAPTER_LIST));
  EXPECT_TRUE(window.isEnabled(IDC_MAX_SPEED2));
  for (int id : kCommandButtons) {
    EXPECT_FALSE(window.isEnabled(id)) << id;
  }
}

TEST(StartUp, FocusStartsOnTheBusSpeedList) {
  ProgramSession session;
  ASSERT_TRUE(session.started());
  EXPECT_EQ(session.window().focusedControlId(), IDC_BAUD_LIST);
}

TEST(StartUp, WithoutTheLibraryTheWindowStillOpensAndOpenFailsAtInit) {
  SessionOptions options;
  options.withSimulator = false;
  ProgramSession session(options);
  ASSERT_TRUE(session.started());
  // Standard output is in text mode, as for any Windows program: each line ends in CR LF.
  EXPECT_EQ(session.standardOutput(),
            "load PUSICANControl.dll FAIL!\r\nload PUSICANControl.dll FAIL!\r\n");
  WindowProbe& window = session.window();
  EXPECT_EQ(window.listSelection(IDC_ADAPTER_LIST), 8);
  window.click(IDC_OPEN);
  EXPECT_EQ(window.takeMessage(), L"PCAN_Init fail!\n");
  EXPECT_TRUE(window.isEnabled(IDC_OPEN));
  EXPECT_FALSE(window.isEnabled(IDC_CLOSE));
  EXPECT_TRUE(session.closeByEscape());
}

TEST(StartUp, WithTheLibraryNothingIsPrinted) {
  ProgramSession session;
  ASSERT_TRUE(session.started());
  EXPECT_EQ(session.standardOutput(), "");
  EXPECT_TRUE(session.closeByEscape());
}

}  // namespace
}  // namespace halvane::e2e
